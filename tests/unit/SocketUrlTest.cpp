#include <gtest/gtest.h>

#include "download/SocketDownload.h"

namespace {

TEST(SocketUrl, CutsHostPortAndPath) {
  const struct {
    std::wstring strUrl;
    bool bOk;
    std::wstring strHost;
    unsigned nPort;
    std::wstring strPath;
  } cases[] = {
      {L"http://abc:8080/file.exe", true, L"abc", 8080, L"/file.exe"},
      {L"https://dl.example.com/ci/TarnBattleClient.exe", true, L"dl.example.com", 80, L"/ci/TarnBattleClient.exe"},
      {L"http://127.0.0.1:8040/source0/clienturl.ini?x=1&y=a:b", true, L"127.0.0.1", 8040,
       L"/source0/clienturl.ini?x=1&y=a:b"},
      {L"http://ab/x", true, L"ab", 80, L"/x"},  // a short host is still a host
      {L"http://host", true, L"host", 80, L"/"},
      {L"http://host/a:b", true, L"host", 80, L"/a:b"},  // a colon in the path is no port
      {L"http://host:/x", false, L"", 0, L""},          // empty port
      {L"http://host:99999/x", false, L"", 0, L""},
      {L"http://host:8o/x", false, L"", 0, L""},
      {L"http:///x", false, L"", 0, L""},
      {L"no url at all", false, L"", 0, L""},
  };
  for (const auto& c : cases) {
    SocketUrl url;
    ASSERT_EQ(CutSocketUrl(c.strUrl, url), c.bOk) << std::string(c.strUrl.begin(), c.strUrl.end());
    if (!c.bOk) continue;
    EXPECT_EQ(url.strHost, c.strHost);
    EXPECT_EQ(url.nPort, c.nPort);
    EXPECT_EQ(url.strPath, c.strPath);
  }
}

TEST(SocketUrl, ABadUrlIsAnErrorNotACrash) {
  std::int64_t nOffset = 0;
  EXPECT_EQ(DownloadFileBySocket(L"nonsense", L"unused", &nOffset, nullptr), L"bad url.");
  EXPECT_EQ(nOffset, 0);
}

}  // namespace
