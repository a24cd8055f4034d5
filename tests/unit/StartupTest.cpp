#include <gtest/gtest.h>

#include "app/Startup.h"
#include "platform/FileSystem.h"
#include "platform/InstallLocation.h"
#include "ui/ContactDialog.h"
#include "ui/MainDlg.h"

namespace {

TEST(DirectInstallOption, FirstUsableValueWinsAndCaseMatters) {
  const struct {
    std::vector<std::wstring> args;
    std::wstring strExpected;
  } cases[] = {
      {{L"fetchlet"}, L""},
      {{L"fetchlet", L"--IDIR", L"D:\\Games"}, L"D:\\Games"},
      {{L"fetchlet", L"--IDIR"}, L""},                      // no value: window mode
      {{L"fetchlet", L"--idir", L"D:\\Games"}, L""},        // other letter case
      {{L"fetchlet", L"--IDIR", L"A", L"--IDIR", L"B"}, L"A"},
      {{L"fetchlet", L"x", L"--IDIR", L"--IDIR"}, L"--IDIR"},  // the value is not an option
      {{}, L""},
  };
  for (const auto& c : cases) EXPECT_EQ(FindDirectInstallFolder(c.args), c.strExpected);
}

TEST(InstallFolderRule, AppendsTheGameFolderOnce) {
  const wchar_t sep = platform::kPathSeparator;
  const std::wstring strGame = std::wstring(L"TarnGame") + sep + L"ashfallbattle";
  const std::wstring strBase = std::wstring(L"base") + sep + L"Games";
  EXPECT_EQ(CMainDlg::MakeInstallFolder(strBase), strBase + sep + strGame);
  EXPECT_EQ(CMainDlg::MakeInstallFolder(strBase + sep), strBase + sep + strGame);
  EXPECT_EQ(CMainDlg::MakeInstallFolder(L"D"), platform::DefaultInstallFolder());
  EXPECT_EQ(CMainDlg::MakeInstallFolder(L""), platform::DefaultInstallFolder());
}

TEST(ContactReason, ListsTheGivenFieldsInTheirFixedOrder) {
  const struct {
    std::wstring strQQ, strWechat, strMobile, strExpected;
  } cases[] = {
      {L"", L"abc", L"", L"ContactBtnOK,Wechat=abc"},
      {L"123", L"w x", L"138", L"ContactBtnOK,QQ=123,Wechat=w x,Mobile=138"},
      {L"", L"", L"", L""},
      {std::wstring(80, L'7'), L"", L"", L"ContactBtnOK,QQ=" + std::wstring(63, L'7')},
  };
  for (const auto& c : cases) EXPECT_EQ(BuildContactReason(c.strQQ, c.strWechat, c.strMobile), c.strExpected);
}

}  // namespace
