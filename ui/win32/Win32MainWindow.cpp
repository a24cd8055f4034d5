#include "ui/win32/Win32MainWindow.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdint>
#include <cwchar>

#include "common/Common.h"
#include "platform/WorkArea.h"
#include "ui/MainDlg.h"
#include "ui/win32/ComApartment.h"
#include "ui/win32/FolderPicker.h"
#include "ui/win32/ResourceIds.h"
#include "ui/win32/WindowLayout.h"

namespace {

constexpr const wchar_t* kWindowClass = L"TarnFetchlet";  // also the single-instance key
constexpr int kWindowWidth = 652;
constexpr int kWindowHeight = 282;
constexpr WPARAM kMoveByCaption = 0xF012;  // SC_MOVE | HTCAPTION: a drag that moves the window

// The controls' command ids; the other controls send nothing the window uses.
constexpr int kInstallCommand = 1;
constexpr int kCloseCommand = 2;
constexpr int kMinimiseCommand = 3;
constexpr int kBrowseCommand = 4;
constexpr int kNoCommand = 0;

constexpr int kProgressMax = 1000;
// What a user may type or paste into the folder field. The field can still
// hold more (a picked folder with the game's tail); it is read whole.
constexpr int kFolderTypingLimit = MAX_PATH - 1;
constexpr COLORREF kStaticTextColour = RGB(244, 158, 0);

constexpr const wchar_t* kFolderLabelText = L"安装路径:";
constexpr const wchar_t* kBrowseText = L"...";

// The one main window of the process; WndProc reaches its object here because
// WM_CREATE arrives before CreateWindowExW returns the handle.
CWin32MainWindow* g_pMainWindow = nullptr;

HWND CreateChild(HWND hParent, HINSTANCE hInstance, const wchar_t* szClass, const wchar_t* szText, DWORD dwStyle,
                 int nCommand, HFONT hFont) {
  // At 0,0 with size 0: WM_SIZE places every control.
  HWND hChild = CreateWindowExW(0, szClass, szText, WS_CHILD | dwStyle, 0, 0, 0, 0, hParent,
                                reinterpret_cast<HMENU>(static_cast<std::intptr_t>(nCommand)), hInstance, nullptr);
  if (hChild != nullptr && hFont != nullptr) SendMessageW(hChild, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), FALSE);
  return hChild;
}

void MoveControl(HWND hControl, const CControlRect& rc) {
  if (hControl != nullptr) MoveWindow(hControl, rc.nX, rc.nY, rc.nWidth, rc.nHeight, TRUE);
}

// Creates the button and gives it its two pictures from the module that owns
// the window; the pictures live as long as the run.
void CreatePictureButton(CImageButton& btn, HWND hParent, int nCommand, int nNormalBitmap, int nHoverBitmap) {
  if (btn.Create(hParent, nCommand) == nullptr) return;
  const auto hModule = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hParent, GWLP_HINSTANCE));
  btn.m_hBmpNormal = LoadBitmapW(hModule, MAKEINTRESOURCEW(nNormalBitmap));
  btn.m_hBmpHover = LoadBitmapW(hModule, MAKEINTRESOURCEW(nHoverBitmap));
}

void PlacePictureButton(const CImageButton& btn, const CControlRect& rc) {
  if (btn.m_hWnd == nullptr) return;
  // A layout shows the normal picture but leaves the hover flag alone: the
  // picture comes back only after the mouse has left and entered again.
  SendMessageW(btn.m_hWnd, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(btn.m_hBmpNormal));
  MoveControl(btn.m_hWnd, rc);
}

void DestroyControl(HWND hControl) {
  if (hControl != nullptr) DestroyWindow(hControl);
}

void ShowControl(HWND hControl, bool bShow) {
  if (hControl != nullptr) ShowWindow(hControl, bShow ? SW_SHOW : SW_HIDE);
}

// A box or dialog that another thread of this process shows (a road worker's
// question, the contact dialog) is answered with its default when the run
// ends, so that its thread can leave: the contact dialog is closed, a box
// answered No, else OK.
BOOL CALLBACK AnswerOtherThreadsDialog(HWND hWnd, LPARAM lParam) {
  DWORD dwProcess = 0;
  const DWORD dwThread = GetWindowThreadProcessId(hWnd, &dwProcess);
  if (dwProcess != GetCurrentProcessId() || dwThread == static_cast<DWORD>(lParam)) return TRUE;
  wchar_t szClass[16] = {};
  if (GetClassNameW(hWnd, szClass, 16) == 0 || std::wcscmp(szClass, L"#32770") != 0) return TRUE;
  if (GetDlgItem(hWnd, IDC_CONTACT_QQ) != nullptr) {
    PostMessageW(hWnd, WM_CLOSE, 0, 0);
    return TRUE;
  }
  for (int nButton : {IDNO, IDOK}) {
    if (HWND hButton = GetDlgItem(hWnd, nButton)) {
      PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(nButton, BN_CLICKED), reinterpret_cast<LPARAM>(hButton));
      return TRUE;
    }
  }
  PostMessageW(hWnd, WM_CLOSE, 0, 0);
  return TRUE;
}

}  // namespace

CWin32MainWindow::CWin32MainWindow(HINSTANCE hInstance)
    : m_hInstance(hInstance), m_dwMainThreadId(GetCurrentThreadId()) {
  // A thread has a message queue only once it asks for messages, and
  // PostThreadMessageW fails without one: a worker may end the run before the
  // loop starts.
  MSG msg{};
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

CWin32MainWindow::~CWin32MainWindow() {
  ReleaseBackgroundBrush();
  if (g_pMainWindow == this) g_pMainWindow = nullptr;
}

bool CWin32MainWindow::Create(const std::wstring& strTitle) {
  if (HWND hConsole = GetConsoleWindow()) ShowWindow(hConsole, SW_HIDE);

  if (HBITMAP hBitmap = LoadBitmapW(m_hInstance, MAKEINTRESOURCEW(IDB_BACKGROUND))) {
    // The brush keeps its own copy of the pattern.
    m_hBkBrush = CreatePatternBrush(hBitmap);
    DeleteObject(hBitmap);
  }

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = &CWin32MainWindow::WndProc;
  wc.hInstance = m_hInstance;
  wc.hIcon = LoadIconW(m_hInstance, MAKEINTRESOURCEW(IDI_FETCHLET));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = m_hBkBrush;
  wc.lpszClassName = kWindowClass;
  if (RegisterClassExW(&wc) == 0) return false;

  g_pMainWindow = this;
  HWND hWnd = CreateWindowExW(0, kWindowClass, strTitle.c_str(), WS_VISIBLE | WS_OVERLAPPED, 0, 0,
                              0, 0, nullptr, nullptr, m_hInstance, nullptr);
  if (hWnd == nullptr) {
    // Without a window nobody could start the road or end the run: the run
    // is refused like a class that cannot be registered.
    g_pMainWindow = nullptr;
    UnregisterClassW(kWindowClass, m_hInstance);
    return false;
  }
  m_hWnd = hWnd;

  // An overlapped window always gets a caption; the pictures draw our own.
  SetWindowLongPtrW(hWnd, GWL_STYLE, GetWindowLongPtrW(hWnd, GWL_STYLE) & ~LONG_PTR{WS_CAPTION});

  // Centred on the work area's size, measured from the screen origin.
  int nWorkWidth = 0;
  int nWorkHeight = 0;
  platform::GetWorkAreaSize(nWorkWidth, nWorkHeight);
  MoveWindow(hWnd, (nWorkWidth - kWindowWidth) / 2, (nWorkHeight - kWindowHeight) / 2,
             kWindowWidth, kWindowHeight, TRUE);

  ShowWindow(hWnd, SW_SHOWNORMAL);
  UpdateWindow(hWnd);
  SetClassLongPtrW(hWnd, GCLP_HCURSOR,
                   reinterpret_cast<LONG_PTR>(LoadCursorW(nullptr, IDC_ARROW)));
  return true;
}

bool CWin32MainWindow::HasWindow() const {
  return m_hWnd.load() != nullptr;
}

void CWin32MainWindow::Hide() {
  if (HWND hWnd = m_hWnd.load()) ShowWindow(hWnd, SW_HIDE);
}

void CWin32MainWindow::SetInstallFolderText(const std::wstring& strFolder) {
  if (HWND hEdit = m_hFolderEdit.load()) SetWindowTextW(hEdit, strFolder.c_str());
}

std::wstring CWin32MainWindow::ReadInstallFolderText() {
  HWND hEdit = m_hFolderEdit.load();
  if (hEdit == nullptr) return std::wstring();
  // All of it: a folder cut to the buffer would be another folder, which
  // might pass the check.
  const int nLength = GetWindowTextLengthW(hEdit);
  if (nLength <= 0) return std::wstring();
  std::wstring strFolder(static_cast<std::size_t>(nLength) + 1, L'\0');
  const int nRead = GetWindowTextW(hEdit, strFolder.data(), nLength + 1);
  strFolder.resize(nRead > 0 ? static_cast<std::size_t>(nRead) : 0);
  return strFolder;
}

void CWin32MainWindow::SetStatusText(const std::wstring& strText) {
  HWND hWnd = m_hWnd.load();
  HWND hStatus = m_hStatus.load();
  if (hWnd == nullptr || hStatus == nullptr) return;
  SetWindowTextW(hStatus, strText.c_str());
  // The line is drawn transparently: the old text goes only when the
  // background under it is painted again.
  RECT rc{};
  if (!GetWindowRect(hStatus, &rc)) return;
  MapWindowPoints(nullptr, hWnd, reinterpret_cast<POINT*>(&rc), 2);
  InvalidateRect(hWnd, &rc, TRUE);
}

void CWin32MainWindow::SetProgressPosition(unsigned nPermille) {
  // A repeated position is no move: a large download reports thousands of
  // chunks, the bar has 1001 places.
  if (nPermille == m_nBarPosition.exchange(nPermille)) return;
  if (HWND hProgress = m_hProgress.load()) SendMessageW(hProgress, PBM_SETPOS, nPermille, 0);
}

void CWin32MainWindow::ShowProgressState() {
  ShowControl(m_btnInstall.m_hWnd, false);
  ShowControl(m_hBrowseButton.load(), false);
  ShowControl(m_hFolderEdit.load(), false);
  ShowControl(m_hFolderLabel.load(), false);
  ShowControl(m_hStatus.load(), true);
  ShowControl(m_hProgress.load(), true);
}

MessageBoxAnswer CWin32MainWindow::ShowMessageBox(const std::wstring& strText, const std::wstring& strCaption,
                                                  MessageBoxKind kind, WindowOwner owner) {
  UINT uType = MB_OK;
  switch (kind) {
    case MessageBoxKind::Ok: uType = MB_OK; break;
    case MessageBoxKind::OkInfo: uType = MB_OK | MB_ICONINFORMATION; break;
    case MessageBoxKind::YesNo: uType = MB_YESNO; break;
  }
  const int nAnswer = MessageBoxW(OwnerHandle(owner), strText.c_str(), strCaption.c_str(), uType);
  if (kind != MessageBoxKind::YesNo) return MessageBoxAnswer::Ok;
  // A box that could not be shown is no consent.
  return nAnswer == IDYES ? MessageBoxAnswer::Yes : MessageBoxAnswer::No;
}

bool CWin32MainWindow::ShowContactDialog(WindowOwner owner) {
  // The dialog ends itself with 1 once it has ended the run; 0 and -1 mean it
  // never came up.
  const INT_PTR nResult =
      DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(IDD_CONTACT), OwnerHandle(owner), ContactDlgProc, 0);
  return nResult > 0;
}

std::wstring CWin32MainWindow::ChooseFolder() {
  return PickInstallFolder(m_hWnd.load());
}

void CWin32MainWindow::OpenWebPage(const std::wstring& strUrl, WindowOwner owner) {
  CComApartment apartment;
  // The result is not looked at: when no browser comes up the caller goes on
  // all the same.
  ShellExecuteW(OwnerHandle(owner), L"Open", strUrl.c_str(), nullptr, nullptr, SW_SHOW);
}

int CWin32MainWindow::RunMessageLoop() {
  MSG msg{};
  // -1 is an error, not a message: it ends the loop like WM_QUIT.
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return m_nExitCode.load();  // the code EndRun recorded, which WM_QUIT carries too
}

void CWin32MainWindow::EndRun(int nExitCode) {
  if (m_bRunEnded.exchange(true)) return;
  m_nExitCode = nExitCode;
  // The run is ending; the class no longer needs its background.
  ReleaseBackgroundBrush();
  EnumWindows(AnswerOtherThreadsDialog, static_cast<LPARAM>(GetCurrentThreadId()));
  if (GetCurrentThreadId() == m_dwMainThreadId) {
    PostQuitMessage(nExitCode);
    return;
  }
  // GetMessageW on the main thread returns 0 for this message, with the code
  // as its wParam.
  PostThreadMessageW(m_dwMainThreadId, WM_QUIT, static_cast<WPARAM>(nExitCode), 0);
}

void CWin32MainWindow::ReleaseBackgroundBrush() {
  // EndRun may come from a worker thread while teardown runs on another.
  if (HBRUSH hBrush = m_hBkBrush.exchange(nullptr)) DeleteObject(hBrush);
}

HWND CWin32MainWindow::OwnerHandle(WindowOwner owner) const {
  HWND hWnd = m_hWnd.load();
  if (hWnd == nullptr) return nullptr;
  switch (owner) {
    case WindowOwner::FolderField: return m_hFolderEdit.load();
    case WindowOwner::MainWindow: return hWnd;
    case WindowOwner::None: return nullptr;
  }
  return nullptr;
}

void CWin32MainWindow::CreateControls(HWND hWnd) {
  INITCOMMONCONTROLSEX icc{};
  icc.dwSize = sizeof(icc);
  icc.dwICC = ICC_PROGRESS_CLASS;
  // Without the class the bar is not created and its calls do nothing.
  InitCommonControlsEx(&icc);

  m_fonts.Create();

  CreatePictureButton(m_btnInstall, hWnd, kInstallCommand, IDB_INSTALL_NORMAL, IDB_INSTALL_HOVER);
  CreatePictureButton(m_btnClose, hWnd, kCloseCommand, IDB_CLOSE_NORMAL, IDB_CLOSE_HOVER);
  CreatePictureButton(m_btnMin, hWnd, kMinimiseCommand, IDB_MIN_NORMAL, IDB_MIN_HOVER);

  HWND hProgress = CreateChild(hWnd, m_hInstance, PROGRESS_CLASSW, L"", 0, kNoCommand, nullptr);
  if (hProgress != nullptr) SendMessageW(hProgress, PBM_SETRANGE32, 0, kProgressMax);
  m_hProgress = hProgress;

  m_hStatus = CreateChild(hWnd, m_hInstance, L"STATIC", L"", SS_LEFT | WS_GROUP, kNoCommand, m_fonts.StatusFont());
  m_hBrowseButton = CreateChild(hWnd, m_hInstance, L"BUTTON", kBrowseText, WS_VISIBLE | BS_PUSHBUTTON,
                                kBrowseCommand, m_fonts.TextFont());
  m_hFolderLabel = CreateChild(hWnd, m_hInstance, L"STATIC", kFolderLabelText, WS_VISIBLE | SS_LEFT, kNoCommand,
                               m_fonts.TextFont());

  HWND hEdit = CreateChild(hWnd, m_hInstance, L"EDIT", L"", WS_VISIBLE | WS_BORDER | ES_LEFT | ES_AUTOHSCROLL,
                           kNoCommand, m_fonts.TextFont());
  if (hEdit != nullptr) SendMessageW(hEdit, EM_SETLIMITTEXT, kFolderTypingLimit, 0);
  m_hFolderEdit = hEdit;

  m_hVersionLabel = CreateChild(hWnd, m_hInstance, L"STATIC", CMainDlg::VersionText().c_str(), WS_VISIBLE | SS_LEFT,
                                kNoCommand, m_fonts.SmallFont());
}

void CWin32MainWindow::LayoutControls(HWND hWnd) {
  RECT rcClient{};
  if (!GetClientRect(hWnd, &rcClient)) return;
  const int nLeft = rcClient.left;
  const int nWidth = rcClient.right - rcClient.left;
  const int nHeight = rcClient.bottom - rcClient.top;
  const CMainWindowLayout layout = ComputeMainWindowLayout(nLeft, nWidth, nHeight);

  PlacePictureButton(m_btnInstall, layout.rcInstall);
  PlacePictureButton(m_btnClose, layout.rcClose);
  PlacePictureButton(m_btnMin, layout.rcMinimise);
  MoveControl(m_hFolderLabel.load(), layout.rcFolderLabel);
  HWND hEdit = m_hFolderEdit.load();
  MoveControl(hEdit, layout.rcFolderEdit);
  // The button joins the edit's inner edge, so it needs the edit's client
  // width as the move left it.
  RECT rcEdit{};
  if (hEdit != nullptr && GetClientRect(hEdit, &rcEdit)) {
    MoveControl(m_hBrowseButton.load(), ComputeBrowseButtonRect(nLeft, nHeight, rcEdit.right - rcEdit.left));
  }
  MoveControl(m_hStatus.load(), layout.rcStatus);
  MoveControl(m_hProgress.load(), layout.rcProgress);
  MoveControl(m_hVersionLabel.load(), layout.rcVersion);
}

bool CWin32MainWindow::OnCommand(HWND hWnd, int nCommand) {
  switch (nCommand) {
    case kInstallCommand: CMainDlg::GetInstance().CheckInstallFolder(); return true;
    case kCloseCommand: CMainDlg::GetInstance().OnCloseButton(); return true;
    case kMinimiseCommand: ShowWindow(hWnd, SW_MINIMIZE); return true;
    case kBrowseCommand: CMainDlg::GetInstance().OnBrowse(); return true;
    default: return false;
  }
}

void CWin32MainWindow::DestroyImageButtons() {
  DestroyControl(m_btnMin.m_hWnd);
  DestroyControl(m_btnClose.m_hWnd);
  DestroyControl(m_btnInstall.m_hWnd);
}

void CWin32MainWindow::ForgetWindow() {
  // From here on the handles name no windows: calls do nothing and boxes go
  // without an owner.
  for (std::atomic<HWND>* pHandle :
       {&m_hProgress, &m_hStatus, &m_hBrowseButton, &m_hFolderLabel, &m_hFolderEdit, &m_hVersionLabel, &m_hWnd}) {
    pHandle->store(nullptr);
  }
  for (CImageButton* pButton : {&m_btnInstall, &m_btnClose, &m_btnMin}) pButton->m_hWnd = nullptr;
  m_fonts.Release();
}

LRESULT CALLBACK CWin32MainWindow::WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  CWin32MainWindow* pWindow = g_pMainWindow;
  switch (uMsg) {
    case WM_CREATE:
      if (pWindow != nullptr) {
        pWindow->m_hWnd = hWnd;
        pWindow->CreateControls(hWnd);
      }
      CMainDlg::GetInstance().OnCreate();
      return 0;
    case WM_SIZE:
      // A minimised window has no client area to lay out; restoring lays out again.
      if (pWindow != nullptr && wParam != SIZE_MINIMIZED) pWindow->LayoutControls(hWnd);
      return 0;
    case WM_COMMAND:
      if (pWindow != nullptr && pWindow->OnCommand(hWnd, LOWORD(wParam))) return 0;
      break;
    case WM_DESTROY:
      CMainDlg::GetInstance().Quit(L"DestoryClose");
      if (pWindow != nullptr) pWindow->DestroyImageButtons();
      return 0;
    case WM_NCDESTROY:
      if (pWindow != nullptr && pWindow->m_hWnd.load() == hWnd) pWindow->ForgetWindow();
      break;
    case WM_CTLCOLORSTATIC: {
      HDC hdc = reinterpret_cast<HDC>(wParam);
      SetTextColor(hdc, kStaticTextColour);
      SetBkMode(hdc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    case WM_LBUTTONDOWN:
      // A press anywhere on the background drags the captionless window.
      ReleaseCapture();
      SendMessageW(hWnd, WM_SYSCOMMAND, kMoveByCaption, 5);
      break;
    default:
      break;
  }
  return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

void CWin32MainWindow::ServeSentMessages() {
  // Only messages other threads send and wait for: posted input is no
  // longer for anyone.
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}
