#include <gtest/gtest.h>

#include "tests/fixtures/ScriptedWindow.h"
#include "ui/MainDlg.h"

namespace {

class CDownloadProgressDisplay : public ::testing::Test {
protected:
  CDownloadProgressDisplay() {
    CMainDlg::GetInstance().AttachWindow(&m_window);
    CMainDlg::GetInstance().m_nLastProgress = 0;
  }
  ~CDownloadProgressDisplay() override { CMainDlg::GetInstance().AttachWindow(nullptr); }

  std::vector<std::wstring> Texts() { return m_window.StatusTexts(); }
  CScriptedWindow m_window;
};

TEST_F(CDownloadProgressDisplay, ShowsTheTextOfEachBindingCode) {
  const struct {
    unsigned long ulCode;
    std::wstring strText;
  } cases[] = {
      {1, L"正在查找资源..."},     {2, L"正在连接下载服务器..."}, {3, L"正在重定向..."},
      {4, L"开始下载数据"},        {6, L"下载完成！"},            {11, L"准备下载..."},
      {13, L"有可用的MIME类型"},   {14, L"缓存文件名可用"},       {32, L"正在检测代理..."},
      {0x2a, L"OnDownloadProgress::ulSatusCode=2a"},
  };
  for (const auto& c : cases) {
    CMainDlg::GetInstance().OnDownloadProgress(0, 0, c.ulCode, nullptr);
    ASSERT_FALSE(Texts().empty());
    EXPECT_EQ(Texts().back(), c.strText) << c.ulCode;
  }
  EXPECT_TRUE(m_window.BarPositions().empty());
}

TEST_F(CDownloadProgressDisplay, DotsChangeWithTheTenthsOfThePermille) {
  CMainDlg& dlg = CMainDlg::GetInstance();
  // 120 permille: 12 mod 3 equals 0 mod 3, so the text stays.
  dlg.OnDownloadProgress(120, 1000, 5, nullptr);
  EXPECT_TRUE(Texts().empty());
  EXPECT_EQ(m_window.BarPositions(), std::vector<unsigned>{120});
  // 130: 13 mod 3 differs; 13 mod 6 = 1 gives two dots.
  dlg.OnDownloadProgress(130, 1000, 5, nullptr);
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_EQ(Texts().back(), L"正在下载《Ashfall》战网..");
  EXPECT_EQ(dlg.m_nLastProgress, 130u);
  // 140 (t = 14, 14 mod 6 = 2) and 150 (t = 15, 15 mod 6 = 3): three dots.
  dlg.OnDownloadProgress(140, 1000, 5, nullptr);
  EXPECT_EQ(Texts().back(), L"正在下载《Ashfall》战网...");
  dlg.OnDownloadProgress(60, 100, 5, nullptr);  // 600 permille, t = 60: one dot
  EXPECT_EQ(Texts().back(), L"正在下载《Ashfall》战网.");
}

TEST_F(CDownloadProgressDisplay, AnUnknownSizeNeverMovesTheBarNorShowsDownloading) {
  for (unsigned long ul = 0; ul < 50; ++ul) CMainDlg::GetInstance().OnDownloadProgress(ul * 100000, 0, 5, nullptr);
  EXPECT_TRUE(m_window.BarPositions().empty());
  EXPECT_TRUE(Texts().empty());
}

TEST_F(CDownloadProgressDisplay, TheBarMovesAtMostOncePerPermille) {
  // A gigabyte in 4 KiB chunks: hundreds of thousands of reports.
  const unsigned long ulTotal = 1u << 30;
  for (unsigned long ul = 4096; ul <= ulTotal; ul += 4096) CMainDlg::GetInstance().OnDownloadProgress(ul, ulTotal, 5, nullptr);
  const auto positions = m_window.BarPositions();
  EXPECT_LE(positions.size(), 1001u);
  ASSERT_FALSE(positions.empty());
  EXPECT_EQ(positions.back(), 1000u);
}

}  // namespace
