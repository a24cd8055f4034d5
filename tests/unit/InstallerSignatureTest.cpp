// The installer check between the download and the install: what it refuses
// is gone and named in the attempt's log text; with no publisher, or no trust
// provider (Linux), every file passes and stays. What passes stays held for
// the start.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/Common.h"
#include "platform/PublisherSignature.h"
#include "road/InstallerSignature.h"
#include "tests/unit/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr const wchar_t* kPublisher = L"Fetchlet Test Publisher";
constexpr const wchar_t* kUrl = L"http://127.0.0.1:1/never-fetched.exe";

#ifdef _WIN32
std::filesystem::path OwnProgram() {
  wchar_t szPath[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, szPath, MAX_PATH);
  return szPath;
}
#endif

TEST(InstallerSignature, WithoutAPublisherEveryFilePassesAndStaysHeld) {
  CTempFolder folder;
  const std::wstring strFile = folder.Child(L"TarnBattleClient.exe");
  WriteWholeFile(strFile, "not a program");
  std::wstring strLog = L"earlier";
  platform::CFileReadLock lock;
  EXPECT_EQ(CheckDownloadedInstaller(strFile, kUrl, L"", strLog, lock), 0);
  EXPECT_EQ(strLog, L"earlier");
  EXPECT_TRUE(std::filesystem::exists(strFile));
  EXPECT_TRUE(lock.IsHeld());
#ifdef _WIN32
  EXPECT_FALSE(DeleteFileW(strFile.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
#endif
}

#ifdef _WIN32

TEST(InstallerSignature, RefusedFilesAreDeletedAndNamedInTheLog) {
  struct Case {
    const char* name;
    std::int32_t nStatus;          // 0: any refusal
    const wchar_t* szLogStart;
  };
  const Case cases[] = {
      {"an unsigned program", platform::kTrustNoSignature, L"earlier InstallerSignature:not signed (0x800b0100)"},
      {"an error page saved as the file", 0, L"earlier InstallerSignature:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CTempFolder folder;
    const std::wstring strFile = folder.Child(L"TarnBattleClient.exe");
    if (c.nStatus == platform::kTrustNoSignature) {
      std::filesystem::copy_file(OwnProgram(), strFile);
    } else {
      WriteWholeFile(strFile, "<html><body>404 Not Found</body></html>");
    }
    std::wstring strLog = L"earlier ";
    platform::CFileReadLock lock;
    const std::int32_t nStatus = CheckDownloadedInstaller(strFile, kUrl, kPublisher, strLog, lock);
    if (c.nStatus != 0) EXPECT_EQ(nStatus, c.nStatus);
    EXPECT_NE(nStatus, 0);
    EXPECT_EQ(strLog.rfind(c.szLogStart, 0), 0u) << WideToUtf8(strLog);
    // Held while it was checked, let go to be deleted.
    EXPECT_FALSE(std::filesystem::exists(strFile));
    EXPECT_FALSE(lock.IsHeld());
  }
}

#endif

// A file that cannot even be held is refused without a look at its signature.
TEST(InstallerSignature, AMissingFileIsRefused) {
  for (const wchar_t* pPublisher : {kPublisher, L""}) {
    CTempFolder folder;
    std::wstring strLog;
    platform::CFileReadLock lock;
    EXPECT_NE(CheckDownloadedInstaller(folder.Child(L"gone.exe"), kUrl, pPublisher, strLog, lock), 0);
    EXPECT_EQ(strLog.rfind(L"InstallerSignature:", 0), 0u) << WideToUtf8(strLog);
    EXPECT_FALSE(lock.IsHeld());
  }
}

#ifndef _WIN32

TEST(InstallerSignature, LinuxHasNoTrustProviderAndRunsTheFile) {
  EXPECT_FALSE(platform::PublisherSignatureCheckAvailable());
  CTempFolder folder;
  const std::wstring strFile = folder.Child(L"TarnBattleClient.exe");
  WriteWholeFile(strFile, "#!/bin/sh\n");
  std::wstring strLog;
  platform::CFileReadLock lock;
  EXPECT_EQ(CheckDownloadedInstaller(strFile, kUrl, kPublisher, strLog, lock), 0);
  EXPECT_TRUE(strLog.empty());
  EXPECT_TRUE(std::filesystem::exists(strFile));
}

#endif

}  // namespace
