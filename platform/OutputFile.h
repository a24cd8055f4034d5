// A file written from the start or appended to, shared for reading and
// writing with other processes; every write and the close are checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// The most Reserve sets aside: the size it is given comes from a peer, which
// may announce anything, and the disk is shared with everything else.
inline constexpr std::uint64_t kLargestReservation = std::uint64_t(1) << 30;

class COutputFile {
public:
  COutputFile() = default;
  ~COutputFile();
  COutputFile(const COutputFile&) = delete;
  COutputFile& operator=(const COutputFile&) = delete;

  // Truncates (creating the file) unless bAppend; false with the last error set.
  bool Open(const std::wstring& strPath, bool bAppend);
  // Writes all bytes; false (last error set) when not all reached the file.
  bool Write(const char* pData, std::size_t nLength);
  // Sets aside disk space for nBytes more (at most kLargestReservation)
  // without changing the file's size, so that a large body is not laid out
  // piece by piece; a hint only. What is still set aside past the file's end
  // when it is closed is given back.
  void Reserve(std::uint64_t nBytes);
  // The open file's size now; false (last error set) when it cannot be read.
  bool Size(std::uint64_t& nSize) const;
  bool Close();
  bool IsOpen() const { return m_nHandle != -1; }
  std::intptr_t NativeHandle() const { return m_nHandle; }

private:
  std::intptr_t m_nHandle = -1;
  // Where the space Reserve set aside ends (0: none set aside).
  std::uint64_t m_nReservedEnd = 0;
};

// Size of a file on disk; false when it cannot be read.
bool GetFileSize(const std::wstring& strPath, std::uint64_t& nSize);

}  // namespace platform
