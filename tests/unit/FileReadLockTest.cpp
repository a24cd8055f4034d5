// The installer is held from its check to its start: on Windows no other
// handle may write, replace, rename or delete it meanwhile, yet it still
// starts; once let go, the program deletes it as before.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>

#include "common/Common.h"
#include "platform/FileReadLock.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/SystemError.h"
#include "tests/unit/FakeClient.h"
#include "tests/unit/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using namespace std::chrono_literals;

TEST(FileReadLock, AFileThatCannotBeOpenedIsNotHeld) {
  CTempFolder temp;
  platform::CFileReadLock lock;
  platform::SetLastErrorCode(0);
  EXPECT_FALSE(lock.Hold(temp.Child(L"missing.exe")));
  EXPECT_FALSE(lock.IsHeld());
  EXPECT_NE(platform::GetLastErrorCode(), 0u);
}

TEST(FileReadLock, TheHoldMovesWithTheObjectAndEndsWithIt) {
  CTempFolder temp;
  const std::wstring strFirst = temp.Child(L"first.exe");
  const std::wstring strSecond = temp.Child(L"second.exe");
  WriteWholeFile(strFirst, "1");
  WriteWholeFile(strSecond, "2");

  platform::CFileReadLock lock;
  ASSERT_TRUE(lock.Hold(strFirst));
  platform::CFileReadLock moved(std::move(lock));
  EXPECT_FALSE(lock.IsHeld());
  EXPECT_TRUE(moved.IsHeld());
  // Holding another file lets the first one go.
  ASSERT_TRUE(moved.Hold(strSecond));
  EXPECT_TRUE(platform::DeleteFileAt(strFirst)) << WideToUtf8(GetLastErrorText());
  {
    platform::CFileReadLock scoped = std::move(moved);
    EXPECT_TRUE(scoped.IsHeld());
  }
  EXPECT_TRUE(platform::DeleteFileAt(strSecond)) << WideToUtf8(GetLastErrorText());
}

#ifdef _WIN32

// What another program could try on the held file; each must fail.
struct CTamperCase {
  const char* pName;
  bool (*pfnTry)(const std::wstring& strHeld, const std::wstring& strOther);
  DWORD dwError;  // 0: any failure will do, as long as the file is unchanged
};

bool OpenFor(const std::wstring& strPath, DWORD dwAccess) {
  HANDLE hFile = CreateFileW(strPath.c_str(), dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return false;
  CloseHandle(hFile);
  return true;
}

const CTamperCase kTamperCases[] = {
    {"open for writing", [](const std::wstring& strHeld, const std::wstring&) { return OpenFor(strHeld, GENERIC_WRITE); },
     ERROR_SHARING_VIOLATION},
    {"open for deleting", [](const std::wstring& strHeld, const std::wstring&) { return OpenFor(strHeld, DELETE); },
     ERROR_SHARING_VIOLATION},
    {"delete", [](const std::wstring& strHeld, const std::wstring&) { return DeleteFileW(strHeld.c_str()) != FALSE; },
     ERROR_SHARING_VIOLATION},
    {"rename away",
     [](const std::wstring& strHeld, const std::wstring& strOther) {
       return MoveFileExW(strHeld.c_str(), (strOther + L".moved").c_str(), 0) != FALSE;
     },
     0},
    {"replace by another file",
     [](const std::wstring& strHeld, const std::wstring& strOther) {
       return MoveFileExW(strOther.c_str(), strHeld.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
     },
     0},
};

TEST(FileReadLock, AHeldInstallerCannotBeChangedButStillStarts) {
  CTempFolder temp;
  const std::wstring strInstaller = CopyFakeClient(temp, L"TarnBattleClient.exe");
  const std::string strBytes = ReadWholeFile(strInstaller);
  const std::wstring strOther = temp.Child(L"other.exe");

  platform::CFileReadLock lock;
  ASSERT_TRUE(lock.Hold(strInstaller)) << WideToUtf8(GetLastErrorText());
  for (const CTamperCase& c : kTamperCases) {
    SCOPED_TRACE(c.pName);
    WriteWholeFile(strOther, "swapped");
    SetLastError(0);
    EXPECT_FALSE(c.pfnTry(strInstaller, strOther));
    if (c.dwError != 0) {
      EXPECT_EQ(GetLastError(), c.dwError);
    }
    EXPECT_EQ(ReadWholeFile(strInstaller), strBytes);
  }
  // Others may still read it.
  EXPECT_TRUE(OpenFor(strInstaller, GENERIC_READ)) << WideToUtf8(GetLastErrorText());

  // The system opens the held file to start it.
  const std::wstring strFolder = temp.Child(L"game");
  platform::CProcess installer;
  ASSERT_TRUE(platform::StartProcess(strInstaller, L" /verysilent /suppressmsgboxes /DIR=\"" + strFolder + L"\"",
                                     platform::ProcessPriority::High, installer))
      << WideToUtf8(GetLastErrorText());
  lock.Release();
  ASSERT_EQ(platform::WaitForProcess(installer, 20s), platform::ProcessWait::Ended);
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(strFolder) / L"Tarn.net Launcher.exe"));
  // Let go, the program's own clean-up deletes it.
  EXPECT_TRUE(platform::DeleteFileAt(strInstaller)) << WideToUtf8(GetLastErrorText());
}

#endif

}  // namespace
