// A file held open from its check to its use, so that what was checked is
// what is used: others may still read it and start it as a program, but not
// write, replace, rename or delete it while it is held.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace platform {

class CFileReadLock {
public:
  CFileReadLock() = default;
  ~CFileReadLock() { Release(); }
  CFileReadLock(CFileReadLock&& other) noexcept : m_nHandle(std::exchange(other.m_nHandle, kNone)) {}
  CFileReadLock& operator=(CFileReadLock&& other) noexcept {
    if (this != &other) {
      Release();
      m_nHandle = std::exchange(other.m_nHandle, kNone);
    }
    return *this;
  }
  CFileReadLock(const CFileReadLock&) = delete;
  CFileReadLock& operator=(const CFileReadLock&) = delete;

  // Opens the file for reading and holds it, releasing what was held before;
  // false (last error set) when it cannot be opened, or, on Windows, when
  // another handle already has it open for writing or deleting.
  bool Hold(const std::wstring& strPath);
  // Lets the file go (the holder's own delete needs that too); the last
  // error is left as it was.
  void Release();
  bool IsHeld() const { return m_nHandle != kNone; }

private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t m_nHandle = kNone;
};

}  // namespace platform
