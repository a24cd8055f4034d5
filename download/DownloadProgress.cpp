#include "download/DownloadProgress.h"

#include "ui/MainDlg.h"

void CDownloadProgress::OnProgress(unsigned long ulProgress, unsigned long ulProgressMax, unsigned long ulStatusCode) {
  CMainDlg::GetInstance().OnDownloadProgress(ulProgress, ulProgressMax, ulStatusCode, nullptr);
}
