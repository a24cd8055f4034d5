#include "platform/posix/CleanSpawn.h"

#include <signal.h>

namespace platform {

CCleanSpawn::CCleanSpawn() {
  m_nResult = ::posix_spawn_file_actions_init(&m_actions);
  m_bActions = m_nResult == 0;
  if (m_nResult == 0) m_nResult = ::posix_spawnattr_init(&m_attributes);
  m_bAttributes = m_bActions && m_nResult == 0;
  // Like bInheritHandles FALSE: the child must not hold this program's files
  // or sockets, and may well outlive it.
  if (m_nResult == 0) m_nResult = ::posix_spawn_file_actions_addclosefrom_np(&m_actions, 3);
  sigset_t noSignals;
  sigset_t defaultSignals;
  sigemptyset(&noSignals);
  sigemptyset(&defaultSignals);
  sigaddset(&defaultSignals, SIGPIPE);
  if (m_nResult == 0) m_nResult = ::posix_spawnattr_setsigmask(&m_attributes, &noSignals);
  if (m_nResult == 0) m_nResult = ::posix_spawnattr_setsigdefault(&m_attributes, &defaultSignals);
  if (m_nResult == 0) {
    m_nResult = ::posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
}

CCleanSpawn::~CCleanSpawn() {
  if (m_bAttributes) ::posix_spawnattr_destroy(&m_attributes);
  if (m_bActions) ::posix_spawn_file_actions_destroy(&m_actions);
}

}  // namespace platform
