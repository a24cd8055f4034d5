#include "platform/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/CodePage.h"

namespace platform {

COutputFile::~COutputFile() { Close(); }

bool COutputFile::Open(const std::wstring& strPath, bool bAppend) {
  Close();
  const int nFlags = O_WRONLY | O_CREAT | O_CLOEXEC | (bAppend ? O_APPEND : O_TRUNC);
  m_nHandle = ::open(WideToNarrow(strPath).c_str(), nFlags, 0644);
  return m_nHandle >= 0;
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

bool COutputFile::Close() {
  if (m_nHandle < 0) return true;
  const int nResult = ::close(static_cast<int>(m_nHandle));
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
