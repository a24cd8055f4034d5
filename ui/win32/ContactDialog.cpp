#include "ui/ContactDialog.h"

#include "ui/win32/ResourceIds.h"
#include "ui/win32/Win32MainWindow.h"

namespace {

// A 64-unit buffer: a longer entry is cut to 63 characters.
constexpr int kFieldBuffer = static_cast<int>(kContactFieldMax) + 1;
// What DialogBoxParamW returns once the dialog has ended the run.
constexpr INT_PTR kRunEnded = 1;

std::wstring ReadField(HWND hDlg, int nId) {
  wchar_t szText[kFieldBuffer] = {};
  // A missing control leaves the buffer empty, which reads as an empty field.
  GetDlgItemTextW(hDlg, nId, szText, kFieldBuffer);
  return szText;
}

void EndRunAndClose(HWND hDlg, const std::wstring& strReason) {
  // EndDialog re-enables the owner, a message into the owner's thread: it has
  // to come while that thread still runs its loop, which ends with the run.
  EndDialog(hDlg, kRunEnded);
  FinishContactDialog(strReason);
}

}  // namespace

INT_PTR CALLBACK ContactDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM) {
  // Closing and a valid submit end the run; Esc (IDCANCEL) is neither, so the
  // user has to close or submit.
  switch (uMsg) {
    case WM_CLOSE:
      EndRunAndClose(hDlg, kContactCloseReason);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        const std::wstring strReason =
            BuildContactReason(ReadField(hDlg, IDC_CONTACT_QQ), ReadField(hDlg, IDC_CONTACT_WECHAT),
                               ReadField(hDlg, IDC_CONTACT_MOBILE));
        if (strReason.empty()) {
          MessageBoxW(hDlg, kContactEmptyText, kContactEmptyCaption, MB_OK);
          return TRUE;
        }
        EndRunAndClose(hDlg, strReason);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}
