#include "ui/ContactDialog.h"

#include "app/resource.h"
#include "ui/win32/Win32MainWindow.h"

namespace {

// A 64-unit buffer: a longer entry is cut to 63 characters.
constexpr int kFieldBuffer = static_cast<int>(kContactFieldMax) + 1;

std::wstring ReadField(HWND hDlg, int nId) {
  wchar_t szText[kFieldBuffer] = {};
  // A missing control leaves the buffer empty, which reads as an empty field.
  GetDlgItemTextW(hDlg, nId, szText, kFieldBuffer);
  return szText;
}

}  // namespace

INT_PTR CALLBACK ContactDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM) {
  // Every way out of the dialog ends the process; Esc (IDCANCEL) is not one
  // of them, so the user has to close or submit.
  switch (uMsg) {
    case WM_CLOSE:
      FinishContactDialog(kContactCloseReason);
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        std::wstring strReason =
            BuildContactReason(ReadField(hDlg, IDC_CONTACT_QQ), ReadField(hDlg, IDC_CONTACT_WECHAT),
                               ReadField(hDlg, IDC_CONTACT_MOBILE));
        if (strReason.empty()) {
          MessageBoxW(hDlg, kContactEmptyText, kContactEmptyCaption, MB_OK);
          return TRUE;
        }
        FinishContactDialog(strReason);
      }
      return FALSE;
    default:
      return FALSE;
  }
}
