#include "platform/Process.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <type_traits>
#include <vector>

namespace platform {

namespace {

struct HandleDeleter {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
using HandleOwner = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleDeleter>;

}  // namespace

struct CProcess::Impl {
  HandleOwner m_hProcess;
};

CProcess::CProcess() = default;
CProcess::~CProcess() = default;
CProcess::CProcess(CProcess&& other) noexcept = default;
CProcess& CProcess::operator=(CProcess&& other) noexcept = default;

bool CProcess::IsStarted() const { return m_pImpl != nullptr && m_pImpl->m_hProcess != nullptr; }

bool StartProcess(const std::wstring& strApplication, const std::wstring& strCommandLine,
                  ProcessPriority priority, CProcess& process) {
  // CreateProcessW may write into the command line: it gets a copy of its own.
  std::vector<wchar_t> commandLine(strCommandLine.begin(), strCommandLine.end());
  commandLine.push_back(L'\0');

  STARTUPINFOW startupInfo{};
  startupInfo.cb = sizeof(startupInfo);
  PROCESS_INFORMATION processInfo{};
  const DWORD dwFlags = priority == ProcessPriority::High ? HIGH_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS;
  if (!CreateProcessW(strApplication.c_str(), strCommandLine.empty() ? nullptr : commandLine.data(),
                      nullptr, nullptr, FALSE, dwFlags, nullptr, nullptr, &startupInfo, &processInfo)) {
    return false;  // the last error is CreateProcessW's
  }
  CloseHandle(processInfo.hThread);

  auto pImpl = std::make_unique<CProcess::Impl>();
  pImpl->m_hProcess.reset(processInfo.hProcess);
  process.m_pImpl = std::move(pImpl);
  return true;
}

ProcessWait WaitForProcess(CProcess& process, std::chrono::milliseconds timeout) {
  if (!process.IsStarted()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return ProcessWait::Failed;
  }
  // Bounded below INFINITE, whatever the caller asked for.
  const auto nMs = std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, INFINITE - 1);
  switch (WaitForSingleObject(process.m_pImpl->m_hProcess.get(), static_cast<DWORD>(nMs))) {
    case WAIT_OBJECT_0:
      return ProcessWait::Ended;
    case WAIT_TIMEOUT:
      return ProcessWait::TimedOut;
    default:
      return ProcessWait::Failed;
  }
}

int CountProcessesByImageName(const std::wstring& strImageName) {
  HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (hSnapshot == INVALID_HANDLE_VALUE) return -1;
  HandleOwner snapshot(hSnapshot);

  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  if (!Process32FirstW(snapshot.get(), &entry)) {
    return GetLastError() == ERROR_NO_MORE_FILES ? 0 : -1;
  }
  int nCount = 0;
  do {
    if (_wcsicmp(entry.szExeFile, strImageName.c_str()) == 0) ++nCount;
  } while (Process32NextW(snapshot.get(), &entry));
  return nCount;
}

}  // namespace platform
