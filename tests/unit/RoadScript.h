// The install road's window, scripted for unit tests: answers questions,
// records what was shown and which later step was asked for.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "common/Common.h"
#include "road/RoadWindow.h"

class CRoadScript : public IRoadWindow {
public:
  std::wstring ReadInstallFolderText() override { return m_strFieldText; }
  std::wstring InstallFolder() const override { return m_strFolder; }
  void SetInstallFolderValue(const std::wstring& strFolder) override { m_strFolder = strFolder; }
  bool IsDirectInstall() const override { return m_bDirect; }
  void SetStatusText(const std::wstring& strInfo) override {
    std::lock_guard<std::mutex> lock(m_cs);
    m_statusTexts.push_back(strInfo);
  }
  void SetProgressPosition(unsigned nPermille) override {
    std::lock_guard<std::mutex> lock(m_cs);
    m_positions.push_back(nPermille);
  }
  void OnDownloadProgress(unsigned long, unsigned long, unsigned long, const wchar_t*) override {}
  void ShowProgressState() override { m_bProgressState = true; }
  MessageBoxAnswer ShowMessageBox(const std::wstring& strText, const std::wstring& strCaption, MessageBoxKind kind,
                                  WindowOwner owner) override {
    std::lock_guard<std::mutex> lock(m_cs);
    m_boxes.push_back(strCaption + L"|" + strText);
    m_boxOwners.push_back(owner);
    return kind == MessageBoxKind::YesNo ? m_answer : MessageBoxAnswer::Ok;
  }
  bool ShowContactDialog(WindowOwner) override {
    ++m_nContactDialogs;
    return true;
  }
  void OnBrowse() override { ++m_nBrowses; }
  void OpenWebPage(const std::wstring&, WindowOwner) override {}
  bool StartDownload() override {
    ++m_nDownloads;
    return true;
  }
  bool Install(const std::wstring&, platform::CFileReadLock) override { return false; }
  bool LaunchPlatform() override {
    ++m_nLaunches;
    return false;
  }
  std::wstring ShowLastError(std::wstring& strText) override {
    strText = GetLastErrorText();
    return strText;
  }
  void Quit(const std::wstring& strReason) override { EndRun(strReason, 0); }
  void EndRun(const std::wstring& strReason, int nExitCode) override {
    if (!m_runEnd.End()) return;
    m_strEndReason = strReason;
    m_nExitCode = nExitCode;
  }
  CRunEnd& RunEnd() override { return m_runEnd; }

  std::wstring m_strFieldText;
  std::wstring m_strFolder;
  bool m_bDirect = false;
  MessageBoxAnswer m_answer = MessageBoxAnswer::No;
  bool m_bProgressState = false;
  int m_nDownloads = 0;
  int m_nBrowses = 0;
  int m_nContactDialogs = 0;
  std::atomic<int> m_nLaunches{0};
  int m_nExitCode = -1;
  std::wstring m_strEndReason;
  std::vector<std::wstring> m_boxes;
  std::vector<WindowOwner> m_boxOwners;
  std::vector<std::wstring> m_statusTexts;
  std::vector<unsigned> m_positions;

private:
  std::mutex m_cs;
  CRunEnd m_runEnd;
};
