#include "ui/win32/Win32MainWindow.h"

#include <commctrl.h>

#include "app/resource.h"
#include "platform/WorkArea.h"
#include "ui/MainDlg.h"

namespace {

constexpr const wchar_t* kWindowClass = L"TarnFetchlet";  // also the single-instance key
constexpr int kWindowWidth = 652;
constexpr int kWindowHeight = 282;
constexpr WPARAM kMoveByCaption = 0xF012;  // SC_MOVE | HTCAPTION: a drag that moves the window

// The one main window of the process; WndProc reaches its object here because
// WM_CREATE arrives before CreateWindowExW returns the handle.
CWin32MainWindow* g_pMainWindow = nullptr;

}  // namespace

CWin32MainWindow::CWin32MainWindow(HINSTANCE hInstance) : m_hInstance(hInstance) {}

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
    // No failure branch here: the run goes on without a window.
    return true;
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

void CWin32MainWindow::SetInstallFolderText(const std::wstring&) {
  // The folder field comes with the window's controls.
}

void CWin32MainWindow::SetStatusText(const std::wstring&) {
  // The status line comes with the window's controls.
}

void CWin32MainWindow::SetProgressPosition(unsigned nPermille) {
  // A repeated position is no move: a large download reports thousands of
  // chunks, the bar has 1001 places. The bar comes with the window's
  // controls; until then there is none.
  if (nPermille == m_nBarPosition.exchange(nPermille)) return;
  if (HWND hProgress = m_hProgress.load()) SendMessageW(hProgress, PBM_SETPOS, nPermille, 0);
}

MessageBoxAnswer CWin32MainWindow::ShowMessageBox(const std::wstring& strText,
                                                  const std::wstring& strCaption,
                                                  MessageBoxKind kind) {
  UINT uType = MB_OK;
  switch (kind) {
    case MessageBoxKind::Ok: uType = MB_OK; break;
    case MessageBoxKind::OkInfo: uType = MB_OK | MB_ICONINFORMATION; break;
    case MessageBoxKind::YesNo: uType = MB_YESNO; break;
  }
  const int nAnswer = MessageBoxW(m_hWnd.load(), strText.c_str(), strCaption.c_str(), uType);
  if (kind != MessageBoxKind::YesNo) return MessageBoxAnswer::Ok;
  // A box that could not be shown is no consent.
  return nAnswer == IDYES ? MessageBoxAnswer::Yes : MessageBoxAnswer::No;
}

void CWin32MainWindow::ShowContactDialog() {
  // Returns only when the dialog cannot be shown: closing it ends the process.
  DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(IDD_CONTACT), m_hWnd.load(), ContactDlgProc, 0);
}

int CWin32MainWindow::RunMessageLoop() {
  MSG msg{};
  // -1 is an error, not a message: it ends the loop like WM_QUIT.
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

void CWin32MainWindow::PostQuit() {
  // The run is ending; the class no longer needs its background.
  ReleaseBackgroundBrush();
  PostQuitMessage(0);
}

void CWin32MainWindow::ReleaseBackgroundBrush() {
  // Quit may come from a worker thread while teardown runs on another.
  if (HBRUSH hBrush = m_hBkBrush.exchange(nullptr)) DeleteObject(hBrush);
}

LRESULT CALLBACK CWin32MainWindow::WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_CREATE: {
      if (g_pMainWindow != nullptr) g_pMainWindow->m_hWnd = hWnd;
      INITCOMMONCONTROLSEX icc{};
      icc.dwSize = sizeof(icc);
      icc.dwICC = ICC_PROGRESS_CLASS;
      InitCommonControlsEx(&icc);
      CMainDlg::GetInstance().OnCreate();
      return 0;
    }
    case WM_DESTROY:
      CMainDlg::GetInstance().Quit(L"DestoryClose");
      return 0;
    case WM_NCDESTROY:
      // From here on the handle names no window: boxes go without an owner.
      if (g_pMainWindow != nullptr && g_pMainWindow->m_hWnd.load() == hWnd) {
        g_pMainWindow->m_hWnd = nullptr;
      }
      break;
    case WM_CTLCOLORSTATIC: {
      HDC hdc = reinterpret_cast<HDC>(wParam);
      SetTextColor(hdc, RGB(244, 158, 0));
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
