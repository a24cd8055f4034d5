#include "platform/OutputFile.h"

#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/CodePage.h"

namespace platform {

COutputFile::~COutputFile() { Close(); }

bool COutputFile::Open(const std::wstring& strPath, bool bAppend) {
  Close();
  // Appending by position, not O_APPEND: the kernel will not splice into an
  // O_APPEND file.
  const int nFlags = O_WRONLY | O_CREAT | O_CLOEXEC | (bAppend ? 0 : O_TRUNC);
  m_nHandle = ::open(WideToNarrow(strPath).c_str(), nFlags, 0644);
  if (m_nHandle < 0) return false;
  if (bAppend && ::lseek(static_cast<int>(m_nHandle), 0, SEEK_END) < 0) {
    const int nError = errno;
    Close();
    errno = nError;
    return false;
  }
  return true;
}

bool COutputFile::Write(const char* pData, std::size_t nLength) {
  while (nLength > 0) {
    const ssize_t nWritten = ::write(static_cast<int>(m_nHandle), pData, nLength);
    if (nWritten < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    pData += nWritten;
    nLength -= static_cast<std::size_t>(nWritten);
  }
  return true;
}

void COutputFile::Reserve(std::uint64_t nBytes) {
  struct stat st {};
  nBytes = std::min(nBytes, kLargestReservation);
  if (nBytes == 0 || ::fstat(static_cast<int>(m_nHandle), &st) != 0) return;
  // The size stays as it is: it is what the next attempt resumes from.
  if (::fallocate(static_cast<int>(m_nHandle), FALLOC_FL_KEEP_SIZE, st.st_size, static_cast<off_t>(nBytes)) == 0) {
    m_nReservedEnd = std::max(m_nReservedEnd, static_cast<std::uint64_t>(st.st_size) + nBytes);
  }
}

bool COutputFile::Size(std::uint64_t& nSize) const {
  struct stat st {};
  if (::fstat(static_cast<int>(m_nHandle), &st) != 0) return false;
  nSize = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool COutputFile::Close() {
  if (m_nHandle < 0) return true;
  const int nFile = static_cast<int>(m_nHandle);
  // Space set aside past the end would stay taken, unseen in the file's size,
  // as long as the file lives: a body that ended early gives it back. A cut
  // to the size it has is what frees it (ext4 punches no hole past the end).
  std::uint64_t nSize = 0;
  if (m_nReservedEnd > 0 && Size(nSize) && nSize < m_nReservedEnd) {
    const int nError = errno;
    // Failing only leaves the hint's space taken; the file is unchanged.
    [[maybe_unused]] const int nCut = ::ftruncate(nFile, static_cast<off_t>(nSize));
    errno = nError;
  }
  m_nReservedEnd = 0;
  const int nResult = ::close(nFile);
  m_nHandle = -1;
  return nResult == 0;
}

bool GetFileSize(const std::wstring& strPath, std::uint64_t& nSize) {
  struct stat st {};
  if (::stat(WideToNarrow(strPath).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  nSize = static_cast<std::uint64_t>(st.st_size);
  return true;
}

}  // namespace platform
