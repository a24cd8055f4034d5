#include "ui/ContactDialog.h"

#include "log/Log.h"
#include "ui/MainDlg.h"

std::wstring BuildContactReason(std::wstring strQQ, std::wstring strWechat, std::wstring strMobile) {
  for (std::wstring* pField : {&strQQ, &strWechat, &strMobile}) {
    if (pField->size() > kContactFieldMax) pField->resize(kContactFieldMax);
  }
  if (strQQ.empty() && strWechat.empty() && strMobile.empty()) return std::wstring();
  // Fields go as typed, unescaped: the exit event's text is encoded as a whole.
  std::wstring strReason = L"ContactBtnOK";
  if (!strQQ.empty()) strReason += L",QQ=" + strQQ;
  if (!strWechat.empty()) strReason += L",Wechat=" + strWechat;
  if (!strMobile.empty()) strReason += L",Mobile=" + strMobile;
  return strReason;
}

void FinishContactDialog(const std::wstring& strReason) { CMainDlg::GetInstance().EndRun(strReason, 0); }
