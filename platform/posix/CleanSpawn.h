// What a program started by this one gets: the standard streams only, no
// blocked signals and default handling of SIGPIPE, whatever this program's
// threads hold or set for themselves.
#pragma once

#include <spawn.h>

namespace platform {

class CCleanSpawn {
public:
  CCleanSpawn();
  ~CCleanSpawn();
  CCleanSpawn(const CCleanSpawn&) = delete;
  CCleanSpawn& operator=(const CCleanSpawn&) = delete;

  // 0 when the set-up is ready for posix_spawn, else the error number.
  int Result() const { return m_nResult; }

  posix_spawn_file_actions_t m_actions{};
  posix_spawnattr_t m_attributes{};

private:
  bool m_bActions = false;
  bool m_bAttributes = false;
  int m_nResult = 0;
};

}  // namespace platform
