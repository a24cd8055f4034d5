// The real main window, made in this process from the program's resources:
// every control against the layout of the 652x282 client, the picture
// buttons' hover pictures, the close question answered "No", and long folders
// in the folder field.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/Common.h"
#include "tests/unit/TestSupport.h"
#include "ui/MainDlg.h"
#include "ui/win32/ResourceIds.h"
#include "ui/win32/Win32MainWindow.h"

// Reads what the window keeps to itself (a friend of CWin32MainWindow).
class CWin32MainWindowInspector {
public:
  explicit CWin32MainWindowInspector(const CWin32MainWindow& window) : m_window(window) {}

  HWND Main() const { return m_window.m_hWnd.load(); }
  const CImageButton& Install() const { return m_window.m_btnInstall; }
  const CImageButton& Close() const { return m_window.m_btnClose; }
  const CImageButton& Minimise() const { return m_window.m_btnMin; }
  HWND Progress() const { return m_window.m_hProgress.load(); }
  HWND Status() const { return m_window.m_hStatus.load(); }
  HWND Browse() const { return m_window.m_hBrowseButton.load(); }
  HWND FolderLabel() const { return m_window.m_hFolderLabel.load(); }
  HWND FolderEdit() const { return m_window.m_hFolderEdit.load(); }
  HWND Version() const { return m_window.m_hVersionLabel.load(); }
  bool RunEnded() const { return m_window.m_bRunEnded.load(); }

private:
  const CWin32MainWindow& m_window;
};

namespace {

constexpr const wchar_t* kWindowClass = L"TarnFetchlet";
constexpr int kClientWidth = 652;
constexpr int kClientHeight = 282;
constexpr auto kSettleBound = std::chrono::milliseconds(200);
constexpr auto kCursorBound = std::chrono::seconds(3);
constexpr auto kBoxBound = std::chrono::seconds(10);
constexpr auto kPollInterval = std::chrono::milliseconds(5);
// Near the corner, which a window centred on the screen never covers. Not the
// origin itself: where the system already believes the pointer to be, moving
// it there is not passed on to the display.
constexpr POINT kCursorAway = {2, 2};

constexpr const wchar_t* kFontFace = L"微软雅黑";
constexpr const wchar_t* kCloseQuestion = L"您确定要放弃安装《Ashfall》吗?";
constexpr const wchar_t* kCloseCaption = L"退出确认";
constexpr const wchar_t* kDialogClass = L"#32770";
constexpr int kMessageTextId = 0xFFFF;  // a message box's text control

// Handles this thread's messages until the condition holds or the bound
// passes; true when the condition held. A quit message stays for the test.
bool PumpUntil(const std::function<bool()>& fnDone, std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  for (;;) {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return fnDone();
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (fnDone()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
}

void Settle() {
  PumpUntil([] { return false; }, kSettleBound);
}

std::wstring ClassOf(HWND hWnd) {
  wchar_t szClass[64] = {};
  const int nLength = GetClassNameW(hWnd, szClass, 64);
  return std::wstring(szClass, nLength > 0 ? static_cast<std::size_t>(nLength) : 0);
}

std::wstring TextOf(HWND hWnd) {
  wchar_t szText[512] = {};
  const int nLength = GetWindowTextW(hWnd, szText, 512);
  return std::wstring(szText, nLength > 0 ? static_cast<std::size_t>(nLength) : 0);
}

// The control's window rectangle in its parent's client coordinates.
RECT RectInParent(HWND hControl) {
  RECT rc{};
  GetWindowRect(hControl, &rc);
  MapWindowPoints(nullptr, GetParent(hControl), reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

POINT CentreOnScreen(HWND hWnd) {
  RECT rc{};
  GetWindowRect(hWnd, &rc);
  return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

HBITMAP ShownImage(HWND hButton) {
  return reinterpret_cast<HBITMAP>(SendMessageW(hButton, BM_GETIMAGE, IMAGE_BITMAP, 0));
}

// The same picture: equal size and equal pixels.
bool SamePicture(HBITMAP hFirst, HBITMAP hSecond) {
  BITMAP first{};
  BITMAP second{};
  if (GetObjectW(hFirst, sizeof(first), &first) == 0 || GetObjectW(hSecond, sizeof(second), &second) == 0) {
    return false;
  }
  if (first.bmWidth != second.bmWidth || first.bmHeight != second.bmHeight ||
      first.bmBitsPixel != second.bmBitsPixel) {
    return false;
  }
  const LONG nBytes = first.bmWidthBytes * first.bmHeight;
  std::vector<BYTE> firstBits(static_cast<std::size_t>(nBytes));
  std::vector<BYTE> secondBits(static_cast<std::size_t>(nBytes));
  return GetBitmapBits(hFirst, nBytes, firstBits.data()) == nBytes &&
         GetBitmapBits(hSecond, nBytes, secondBits.data()) == nBytes && firstBits == secondBits;
}

// Counts the pictures a button is given; on top of the button's own
// subclassing, so it sees what the picture button sends itself.
LRESULT CALLBACK CountImageChanges(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR dwCount) {
  if (uMsg == BM_SETIMAGE) ++*reinterpret_cast<int*>(dwCount);
  return DefSubclassProc(hWnd, uMsg, wParam, lParam);
}
constexpr UINT_PTR kCounterId = 1;

class CImageChangeCounter {
public:
  explicit CImageChangeCounter(HWND hButton) : m_hButton(hButton) {
    m_bAttached = SetWindowSubclass(hButton, CountImageChanges, kCounterId, reinterpret_cast<DWORD_PTR>(&m_nCount));
  }
  ~CImageChangeCounter() {
    if (m_bAttached) RemoveWindowSubclass(m_hButton, CountImageChanges, kCounterId);
  }
  CImageChangeCounter(const CImageChangeCounter&) = delete;
  CImageChangeCounter& operator=(const CImageChangeCounter&) = delete;

  bool Attached() const { return m_bAttached; }
  int Count() const { return m_nCount; }

private:
  HWND m_hButton;
  BOOL m_bAttached = FALSE;
  int m_nCount = 0;
};

void SendMouseMove(HWND hButton) { SendMessageW(hButton, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5)); }
void SendMouseLeave(HWND hButton) { SendMessageW(hButton, WM_MOUSELEAVE, 0, 0); }

enum class FontKind { None, Text, Status, Small };

struct CExpectedFont {
  int nHeight;
  int nWeight;
};

CExpectedFont ExpectedFont(FontKind kind) {
  switch (kind) {
    case FontKind::Text: return {20, 500};
    case FontKind::Status: return {26, 900};
    case FontKind::Small: return {16, 400};
    case FontKind::None: break;
  }
  return {0, 0};
}

class Win32MainWindowTest : public testing::Test {
protected:
  void SetUp() override {
    // The pointer of a fresh display sits where the install button will be.
    SetCursorPos(kCursorAway.x, kCursorAway.y);
    m_pWindow = std::make_unique<CWin32MainWindow>(GetModuleHandleW(nullptr));
    m_pInspector = std::make_unique<CWin32MainWindowInspector>(*m_pWindow);
    CMainDlg::GetInstance().AttachWindow(m_pWindow.get());
    s_creationStyles.clear();
    HHOOK hHook = SetWindowsHookExW(WH_CBT, &RecordCreationStyle, nullptr, GetCurrentThreadId());
    const bool bCreated = CMainDlg::GetInstance().Create();
    if (hHook != nullptr) UnhookWindowsHookEx(hHook);
    ASSERT_NE(hHook, nullptr);
    ASSERT_TRUE(bCreated);
    ASSERT_NE(Window().Main(), nullptr);
    ASSERT_TRUE(PumpUntil([this] { return !AnyPictureButtonHovered(); }, kCursorBound));
  }

  void TearDown() override {
    if (HWND hMain = Window().Main()) {
      // The window's own WM_DESTROY ends the run and reports it: here the
      // window goes without that, and its children with it.
      SetWindowLongPtrW(hMain, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DestroyQuietly));
      DestroyWindow(hMain);
    }
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    CMainDlg::GetInstance().AttachWindow(nullptr);
    UnregisterClassW(kWindowClass, GetModuleHandleW(nullptr));
    m_pInspector.reset();
    m_pWindow.reset();
  }

  // The style each window was asked for: an edit takes WS_BORDER out of its
  // window style and draws the border itself.
  static LRESULT CALLBACK RecordCreationStyle(int nCode, WPARAM wParam, LPARAM lParam) {
    if (nCode == HCBT_CREATEWND) {
      s_creationStyles[reinterpret_cast<HWND>(wParam)] =
          static_cast<DWORD>(reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs->style);
    }
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
  }
  static inline std::map<HWND, DWORD> s_creationStyles;

  static LRESULT CALLBACK DestroyQuietly(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_DESTROY) return 0;
    return CWin32MainWindow::WndProc(hWnd, uMsg, wParam, lParam);
  }

  const CWin32MainWindowInspector& Window() const { return *m_pInspector; }

  bool AnyPictureButtonHovered() const {
    return Window().Install().m_bHover || Window().Close().m_bHover || Window().Minimise().m_bHover;
  }

  struct CControlCase {
    const char* szName;
    HWND hWnd;
    const wchar_t* szClass;
    DWORD dwStyleMask;  // the bits looked at in the style asked for, and their values
    DWORD dwStyleValue;
    bool bVisibleChoosing;  // while the folder is chosen
    bool bVisibleProgress;  // after ShowProgressState
    RECT rc;                // left, top, right, bottom in the client
    std::wstring strText;
    FontKind font;
  };

  std::vector<CControlCase> Controls() const {
    constexpr DWORD kButtonBits = WS_CHILD | BS_TYPEMASK | BS_BITMAP;
    constexpr DWORD kStaticBits = WS_CHILD | SS_TYPEMASK | WS_GROUP;
    RECT rcEditClient{};
    GetClientRect(Window().FolderEdit(), &rcEditClient);
    const int nBrowseLeft = 204 + rcEditClient.right;
    return {
        {"install", Window().Install().m_hWnd, L"Button", kButtonBits, WS_CHILD | BS_PUSHBUTTON | BS_BITMAP, true,
         false, {211, 112, 511, 162}, L"", FontKind::None},
        {"close", Window().Close().m_hWnd, L"Button", kButtonBits, WS_CHILD | BS_PUSHBUTTON | BS_BITMAP, true, true,
         {622, 10, 642, 30}, L"", FontKind::None},
        {"minimise", Window().Minimise().m_hWnd, L"Button", kButtonBits, WS_CHILD | BS_PUSHBUTTON | BS_BITMAP, true,
         true, {592, 10, 612, 30}, L"", FontKind::None},
        {"progress", Window().Progress(), PROGRESS_CLASSW, WS_CHILD | PBS_SMOOTH | PBS_VERTICAL, WS_CHILD, false,
         true, {10, 172, 642, 181}, L"", FontKind::None},
        {"status", Window().Status(), L"Static", kStaticBits, WS_CHILD | SS_LEFT | WS_GROUP, false, true,
         {10, 182, 642, 207}, L"", FontKind::Status},
        {"browse", Window().Browse(), L"Button", kButtonBits, WS_CHILD | BS_PUSHBUTTON, true, false,
         {nBrowseLeft, 202, nBrowseLeft + 33, 227}, L"...", FontKind::Text},
        {"label", Window().FolderLabel(), L"Static", kStaticBits, WS_CHILD | SS_LEFT, true, false,
         {140, 202, 204, 227}, L"安装路径:", FontKind::Text},
        {"edit", Window().FolderEdit(), L"Edit", WS_CHILD | WS_BORDER | ES_AUTOHSCROLL | ES_CENTER | ES_RIGHT,
         WS_CHILD | WS_BORDER | ES_AUTOHSCROLL, true, false, {204, 202, 508, 227},
         CMainDlg::GetInstance().m_strInstallFolder, FontKind::Text},
        {"version", Window().Version(), L"Static", kStaticBits, WS_CHILD | SS_LEFT, true, true,
         {472, 262, 652, 282}, CMainDlg::VersionText(), FontKind::Small},
    };
  }

  std::unique_ptr<CWin32MainWindow> m_pWindow;
  std::unique_ptr<CWin32MainWindowInspector> m_pInspector;
};

TEST_F(Win32MainWindowTest, ControlsStandWhereTheLayoutPutsThem) {
  HWND hMain = Window().Main();
  RECT rcClient{};
  ASSERT_TRUE(GetClientRect(hMain, &rcClient));
  ASSERT_EQ(rcClient.right - rcClient.left, kClientWidth);
  ASSERT_EQ(rcClient.bottom - rcClient.top, kClientHeight);

  for (const CControlCase& c : Controls()) {
    SCOPED_TRACE(c.szName);
    ASSERT_NE(c.hWnd, nullptr);
    EXPECT_EQ(GetParent(c.hWnd), hMain);
    EXPECT_EQ(CompareStringOrdinal(ClassOf(c.hWnd).c_str(), -1, c.szClass, -1, TRUE), CSTR_EQUAL)
        << "class " << WideToUtf8(ClassOf(c.hWnd));
    ASSERT_EQ(s_creationStyles.count(c.hWnd), 1u);
    const DWORD dwStyle = s_creationStyles[c.hWnd];
    EXPECT_EQ(dwStyle & c.dwStyleMask, c.dwStyleValue) << std::hex << "style " << dwStyle;
    // What the control made of it: the same bits but an edit's border.
    const auto dwNow = static_cast<DWORD>(GetWindowLongPtrW(c.hWnd, GWL_STYLE));
    EXPECT_EQ(dwNow & c.dwStyleMask & ~WS_BORDER, c.dwStyleValue & ~WS_BORDER) << std::hex << "style " << dwNow;
    const RECT rc = RectInParent(c.hWnd);
    EXPECT_EQ(rc.left, c.rc.left);
    EXPECT_EQ(rc.top, c.rc.top);
    EXPECT_EQ(rc.right, c.rc.right);
    EXPECT_EQ(rc.bottom, c.rc.bottom);
    EXPECT_EQ(WideToUtf8(TextOf(c.hWnd)), WideToUtf8(c.strText));

    const auto hFont = reinterpret_cast<HFONT>(SendMessageW(c.hWnd, WM_GETFONT, 0, 0));
    if (c.font == FontKind::None) {
      EXPECT_EQ(hFont, nullptr);  // the system font
      continue;
    }
    LOGFONTW lf{};
    ASSERT_EQ(GetObjectW(hFont, sizeof(lf), &lf), static_cast<int>(sizeof(lf)));
    EXPECT_EQ(WideToUtf8(lf.lfFaceName), WideToUtf8(kFontFace));
    EXPECT_EQ(lf.lfHeight, ExpectedFont(c.font).nHeight);
    EXPECT_EQ(lf.lfWeight, ExpectedFont(c.font).nWeight);
  }

  // A flat one-pixel border, not the sunken edge.
  EXPECT_EQ(GetWindowLongPtrW(Window().FolderEdit(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
  // The edit shows the folder the window settled on when it was made.
  EXPECT_NE(CMainDlg::GetInstance().m_strInstallFolder.find(L"\\TarnGame\\ashfallbattle"), std::wstring::npos);
  EXPECT_EQ(CMainDlg::VersionText().rfind(L"当前版本:" + GetModuleVersionText(), 0), 0u);

  PBRANGE range{};
  SendMessageW(Window().Progress(), PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 1000);
}

TEST_F(Win32MainWindowTest, ProgressStateShowsTheBarAndTheStatusInPlaceOfTheFolderChoice) {
  HWND hMain = Window().Main();
  ASSERT_TRUE(IsWindowVisible(hMain));
  const std::vector<CControlCase> controls = Controls();
  for (const CControlCase& c : controls) {
    SCOPED_TRACE(c.szName);
    EXPECT_EQ(IsWindowVisible(c.hWnd) != FALSE, c.bVisibleChoosing);
  }

  CMainDlg::GetInstance().ShowProgressState();
  Settle();

  EXPECT_TRUE(IsWindowVisible(hMain));
  for (const CControlCase& c : controls) {
    SCOPED_TRACE(c.szName);
    EXPECT_EQ(IsWindowVisible(c.hWnd) != FALSE, c.bVisibleProgress);
  }
}

struct CPictureButtonCase {
  const char* szName;
  const CImageButton& (CWin32MainWindowInspector::*pfnButton)() const;
  int nCommand;
  int nNormalBitmap;
  int nHoverBitmap;
  int nSize;  // width of the button and its pictures
};

const CPictureButtonCase kPictureButtons[] = {
    {"install", &CWin32MainWindowInspector::Install, 1, IDB_INSTALL_NORMAL, IDB_INSTALL_HOVER, 300},
    {"close", &CWin32MainWindowInspector::Close, 2, IDB_CLOSE_NORMAL, IDB_CLOSE_HOVER, 20},
    {"minimise", &CWin32MainWindowInspector::Minimise, 3, IDB_MIN_NORMAL, IDB_MIN_HOVER, 20},
};

TEST_F(Win32MainWindowTest, PictureButtonsCarryTheirCommandAndTheirTwoPictures) {
  for (const CPictureButtonCase& c : kPictureButtons) {
    SCOPED_TRACE(c.szName);
    const CImageButton& btn = (Window().*c.pfnButton)();
    EXPECT_EQ(btn.m_hParent, Window().Main());
    EXPECT_EQ(btn.m_nID, c.nCommand);
    EXPECT_EQ(GetDlgCtrlID(btn.m_hWnd), c.nCommand);
    EXPECT_FALSE(btn.m_bHover);
    ASSERT_NE(btn.m_hBmpNormal, nullptr);
    ASSERT_NE(btn.m_hBmpHover, nullptr);
    EXPECT_EQ(ShownImage(btn.m_hWnd), btn.m_hBmpNormal);

    const HINSTANCE hModule = GetModuleHandleW(nullptr);
    const HBITMAP hNormal = LoadBitmapW(hModule, MAKEINTRESOURCEW(c.nNormalBitmap));
    const HBITMAP hHover = LoadBitmapW(hModule, MAKEINTRESOURCEW(c.nHoverBitmap));
    EXPECT_TRUE(SamePicture(btn.m_hBmpNormal, hNormal));
    EXPECT_TRUE(SamePicture(btn.m_hBmpHover, hHover));
    EXPECT_FALSE(SamePicture(btn.m_hBmpNormal, btn.m_hBmpHover));
    BITMAP bm{};
    ASSERT_NE(GetObjectW(btn.m_hBmpNormal, sizeof(bm), &bm), 0);
    EXPECT_EQ(bm.bmWidth, c.nSize);
    DeleteObject(hNormal);
    DeleteObject(hHover);
  }
}

TEST_F(Win32MainWindowTest, HoverPictureIsSetOnceAndLeaveRestoresTheNormalOne) {
  for (const CPictureButtonCase& c : kPictureButtons) {
    SCOPED_TRACE(c.szName);
    const CImageButton& btn = (Window().*c.pfnButton)();
    CImageChangeCounter counter(btn.m_hWnd);
    ASSERT_TRUE(counter.Attached());

    SendMouseMove(btn.m_hWnd);
    EXPECT_TRUE(btn.m_bHover);
    EXPECT_EQ(ShownImage(btn.m_hWnd), btn.m_hBmpHover);
    SendMouseMove(btn.m_hWnd);
    SendMouseMove(btn.m_hWnd);
    EXPECT_EQ(ShownImage(btn.m_hWnd), btn.m_hBmpHover);
    EXPECT_EQ(counter.Count(), 1);

    SendMouseLeave(btn.m_hWnd);
    EXPECT_FALSE(btn.m_bHover);
    EXPECT_EQ(ShownImage(btn.m_hWnd), btn.m_hBmpNormal);
    EXPECT_EQ(counter.Count(), 2);

    // A new entry shows the hover picture again.
    SendMouseMove(btn.m_hWnd);
    EXPECT_EQ(ShownImage(btn.m_hWnd), btn.m_hBmpHover);
    SendMouseLeave(btn.m_hWnd);
    EXPECT_EQ(ShownImage(btn.m_hWnd), btn.m_hBmpNormal);
    EXPECT_EQ(counter.Count(), 4);
  }
}

TEST_F(Win32MainWindowTest, LayoutWhileHoveredShowsTheNormalPictureAndKeepsTheHover) {
  HWND hMain = Window().Main();
  for (const CPictureButtonCase& c : kPictureButtons) {
    SCOPED_TRACE(c.szName);
    const CImageButton& btn = (Window().*c.pfnButton)();
    SendMouseMove(btn.m_hWnd);
    ASSERT_EQ(ShownImage(btn.m_hWnd), btn.m_hBmpHover);

    SendMessageW(hMain, WM_SIZE, SIZE_RESTORED, MAKELPARAM(kClientWidth, kClientHeight));
    EXPECT_EQ(ShownImage(btn.m_hWnd), btn.m_hBmpNormal);
    EXPECT_TRUE(btn.m_bHover);

    // Still hovering as far as the button knows: moves change nothing.
    CImageChangeCounter counter(btn.m_hWnd);
    ASSERT_TRUE(counter.Attached());
    SendMouseMove(btn.m_hWnd);
    SendMouseMove(btn.m_hWnd);
    EXPECT_EQ(counter.Count(), 0);
    EXPECT_EQ(ShownImage(btn.m_hWnd), btn.m_hBmpNormal);

    SendMouseLeave(btn.m_hWnd);
    EXPECT_FALSE(btn.m_bHover);
    EXPECT_EQ(ShownImage(btn.m_hWnd), btn.m_hBmpNormal);
    SendMouseMove(btn.m_hWnd);
    EXPECT_EQ(ShownImage(btn.m_hWnd), btn.m_hBmpHover);
    SendMouseLeave(btn.m_hWnd);
  }
}

// The real pointer: entering shows the hover picture, leaving ends it, also
// when the pointer goes straight from one picture button onto another.
TEST_F(Win32MainWindowTest, PointerLeavingAPictureButtonEndsItsHover) {
  const CImageButton& install = Window().Install();
  const CImageButton& close = Window().Close();
  const CImageButton& minimise = Window().Minimise();
  const auto moveTo = [](POINT pt) { return SetCursorPos(pt.x, pt.y) != FALSE; };

  ASSERT_TRUE(moveTo(CentreOnScreen(install.m_hWnd)));
  ASSERT_TRUE(PumpUntil([&] { return install.m_bHover; }, kCursorBound));
  EXPECT_EQ(ShownImage(install.m_hWnd), install.m_hBmpHover);

  ASSERT_TRUE(moveTo(kCursorAway));
  EXPECT_TRUE(PumpUntil([&] { return !install.m_bHover; }, kCursorBound));
  EXPECT_EQ(ShownImage(install.m_hWnd), install.m_hBmpNormal);

  // From one button straight onto the next, then off the window.
  const struct {
    const char* szName;
    const CImageButton& from;
    const CImageButton& to;
  } jumps[] = {{"install to close", install, close}, {"close to minimise", close, minimise}};
  for (const auto& jump : jumps) {
    SCOPED_TRACE(jump.szName);
    ASSERT_TRUE(moveTo(CentreOnScreen(jump.from.m_hWnd)));
    ASSERT_TRUE(PumpUntil([&] { return jump.from.m_bHover; }, kCursorBound));
    ASSERT_TRUE(moveTo(CentreOnScreen(jump.to.m_hWnd)));
    ASSERT_TRUE(PumpUntil([&] { return jump.to.m_bHover && !jump.from.m_bHover; }, kCursorBound));
    EXPECT_EQ(ShownImage(jump.from.m_hWnd), jump.from.m_hBmpNormal);
    EXPECT_EQ(ShownImage(jump.to.m_hWnd), jump.to.m_hBmpHover);

    ASSERT_TRUE(moveTo(kCursorAway));
    EXPECT_TRUE(PumpUntil([&] { return !jump.to.m_bHover; }, kCursorBound));
    EXPECT_EQ(ShownImage(jump.to.m_hWnd), jump.to.m_hBmpNormal);
  }
}

// What a control looks like to the user.
struct CControlState {
  bool bVisible;
  RECT rc;
  std::wstring strText;
  bool operator==(const CControlState& other) const {
    return bVisible == other.bVisible && EqualRect(&rc, &other.rc) && strText == other.strText;
  }
};

// What the close question's box showed, seen from the thread that answers it.
struct CAnsweredBox {
  bool bFound = false;
  HWND hOwner = nullptr;
  std::wstring strText;
  bool bHasYes = false;
  bool bHasNo = false;
};

enum class NoPress { Message, Pointer };

// Waits for the close question's box and presses "No" in it; with the
// pointer, it first rests on the button, as a user's would.
CAnsweredBox AnswerCloseQuestionNo(NoPress press) {
  CAnsweredBox box;
  const auto deadline = std::chrono::steady_clock::now() + kBoxBound;
  HWND hBox = nullptr;
  while ((hBox = FindWindowW(kDialogClass, kCloseCaption)) == nullptr && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(kPollInterval);
  }
  if (hBox == nullptr) return box;
  box.bFound = true;
  box.hOwner = GetWindow(hBox, GW_OWNER);
  box.strText = TextOf(GetDlgItem(hBox, kMessageTextId));
  box.bHasYes = GetDlgItem(hBox, IDYES) != nullptr;
  HWND hNo = GetDlgItem(hBox, IDNO);
  box.bHasNo = hNo != nullptr;
  if (press == NoPress::Pointer && hNo != nullptr) {
    const POINT pt = CentreOnScreen(hNo);
    SetCursorPos(pt.x, pt.y);
    // The box's own loop hands the button the move; the button then asks
    // for the pointer's leave.
    const auto trackDeadline = std::chrono::steady_clock::now() + kCursorBound;
    TRACKMOUSEEVENT tme{};
    do {
      std::this_thread::sleep_for(kPollInterval);
      tme = {sizeof(tme), TME_QUERY, nullptr, 0};
    } while (TrackMouseEvent(&tme) && tme.hwndTrack != hNo && std::chrono::steady_clock::now() < trackDeadline);
  }
  PostMessageW(hBox, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), reinterpret_cast<LPARAM>(hNo));
  return box;
}

TEST_F(Win32MainWindowTest, CloseQuestionAnsweredNoLeavesTheWindowAsItWas) {
  HWND hMain = Window().Main();
  const std::vector<CControlCase> controls = Controls();
  const auto snapshot = [&controls] {
    std::vector<CControlState> states;
    for (const CControlCase& c : controls) {
      states.push_back({IsWindowVisible(c.hWnd) != FALSE, RectInParent(c.hWnd), TextOf(c.hWnd)});
    }
    return states;
  };
  const std::vector<CControlState> before = snapshot();

  CAnsweredBox box;
  std::thread answerer([&box] { box = AnswerCloseQuestionNo(NoPress::Message); });
  // The close button's click: the box is modal, so this returns once it is answered.
  SendMessageW(Window().Close().m_hWnd, BM_CLICK, 0, 0);
  answerer.join();

  ASSERT_TRUE(box.bFound);
  EXPECT_EQ(box.hOwner, hMain);
  EXPECT_EQ(WideToUtf8(box.strText), WideToUtf8(kCloseQuestion));
  EXPECT_TRUE(box.bHasYes);
  EXPECT_TRUE(box.bHasNo);

  Settle();
  EXPECT_EQ(FindWindowW(kDialogClass, kCloseCaption), nullptr);
  EXPECT_TRUE(IsWindow(hMain));
  EXPECT_TRUE(IsWindowVisible(hMain));
  EXPECT_TRUE(IsWindowEnabled(hMain));
  EXPECT_EQ(Window().Main(), hMain);
  EXPECT_TRUE(snapshot() == before);
  // No exit was handed to the message loop.
  EXPECT_FALSE(Window().RunEnded());
  MSG msg{};
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// The box goes while its "No" button still follows the pointer: the picture
// buttons' hover must still end afterwards.
TEST_F(Win32MainWindowTest, HoverStillEndsAfterTheCloseQuestionWasAnsweredWithThePointer) {
  CAnsweredBox box;
  std::thread answerer([&box] { box = AnswerCloseQuestionNo(NoPress::Pointer); });
  SendMessageW(Window().Close().m_hWnd, BM_CLICK, 0, 0);
  answerer.join();
  ASSERT_TRUE(box.bFound);
  ASSERT_TRUE(box.bHasNo);

  for (const CPictureButtonCase& c : kPictureButtons) {
    SCOPED_TRACE(c.szName);
    const CImageButton& btn = (Window().*c.pfnButton)();
    const POINT pt = CentreOnScreen(btn.m_hWnd);
    ASSERT_TRUE(SetCursorPos(pt.x, pt.y));
    ASSERT_TRUE(PumpUntil([&] { return btn.m_bHover; }, kCursorBound));
    ASSERT_TRUE(SetCursorPos(kCursorAway.x, kCursorAway.y));
    EXPECT_TRUE(PumpUntil([&] { return !btn.m_bHover; }, kCursorBound));
    EXPECT_EQ(ShownImage(btn.m_hWnd), btn.m_hBmpNormal);
  }
}

// The end of the run reaches what other threads still show: a road worker's
// question returns its default and its contact dialog closes, so that the
// worker can leave and the process can tear down.
TEST_F(Win32MainWindowTest, TheEndOfTheRunAnswersBoxesOtherThreadsShow) {
  constexpr const wchar_t* kQuestionCaption = L"客户端版本错误";
  constexpr const wchar_t* kContactCaption = L"《Ashfall》在安装过程中遇到未知错误";
  std::atomic<int> nAnswer{-1};
  std::atomic<int> nDialogShown{-1};
  std::thread asker([&] {
    nAnswer = static_cast<int>(
        m_pWindow->ShowMessageBox(L"?", kQuestionCaption, MessageBoxKind::YesNo, WindowOwner::None));
  });
  std::thread contact([&] { nDialogShown = m_pWindow->ShowContactDialog(WindowOwner::None) ? 1 : 0; });
  const bool bBothUp = PumpUntil(
      [&] {
        return FindWindowW(kDialogClass, kQuestionCaption) != nullptr &&
               FindWindowW(kDialogClass, kContactCaption) != nullptr;
      },
      kBoxBound);
  m_pWindow->EndRun(0);
  // As the main thread does after its loop: it answers only what the other
  // threads send it (the dialog's end hides the window) while it waits.
  const auto deadline = std::chrono::steady_clock::now() + kBoxBound;
  while ((nAnswer < 0 || nDialogShown < 0) && std::chrono::steady_clock::now() < deadline) {
    m_pWindow->ServeSentMessages();
    std::this_thread::sleep_for(kPollInterval);
  }
  const bool bBothGone = nAnswer >= 0 && nDialogShown >= 0;
  if (!bBothGone) {
    // Let the threads go all the same, so that the failure is reported.
    PostMessageW(FindWindowW(kDialogClass, kQuestionCaption), WM_COMMAND, IDNO, 0);
    PostMessageW(FindWindowW(kDialogClass, kContactCaption), WM_CLOSE, 0, 0);
  }
  asker.join();
  contact.join();
  ASSERT_TRUE(bBothUp);
  EXPECT_TRUE(bBothGone) << "a box outlived the end of the run";
  EXPECT_EQ(nAnswer, static_cast<int>(MessageBoxAnswer::No));
  EXPECT_EQ(nDialogShown, 1);
}

// The main window cannot be made: the run is refused as when its class cannot
// be registered, and no invisible process stays behind.
LRESULT CALLBACK RefuseTopLevelWindows(int nCode, WPARAM wParam, LPARAM lParam) {
  if (nCode == HCBT_CREATEWND && reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs->hwndParent == nullptr) return 1;
  return CallNextHookEx(nullptr, nCode, wParam, lParam);
}

TEST(Win32MainWindowCreation, AWindowThatCannotBeMadeRefusesTheRun) {
  CWin32MainWindow window(GetModuleHandleW(nullptr));
  CMainDlg::GetInstance().AttachWindow(&window);
  HHOOK hHook = SetWindowsHookExW(WH_CBT, &RefuseTopLevelWindows, nullptr, GetCurrentThreadId());
  ASSERT_NE(hHook, nullptr);
  const bool bCreated = CMainDlg::GetInstance().Create();
  UnhookWindowsHookEx(hHook);
  EXPECT_FALSE(bCreated);
  EXPECT_FALSE(window.HasWindow());
  EXPECT_EQ(FindWindowW(kWindowClass, nullptr), nullptr);
  // Nothing of the refused attempt stands in the way of another.
  EXPECT_TRUE(CMainDlg::GetInstance().Create());
  if (HWND hWnd = FindWindowW(kWindowClass, nullptr)) {
    SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcW));
    DestroyWindow(hWnd);
  }
  CMainDlg::GetInstance().AttachWindow(nullptr);
  UnregisterClassW(kWindowClass, GetModuleHandleW(nullptr));
}

// The real window with a scripted folder picker and boxes: what the picker
// and the folder field hand over is all the folder check sees.
class CScriptedPicker : public IMainWindow {
public:
  explicit CScriptedPicker(IMainWindow& window) : m_window(window) {}

  bool Create(const std::wstring& strTitle) override { return m_window.Create(strTitle); }
  bool HasWindow() const override { return m_window.HasWindow(); }
  void Hide() override { m_window.Hide(); }
  void SetInstallFolderText(const std::wstring& strFolder) override { m_window.SetInstallFolderText(strFolder); }
  std::wstring ReadInstallFolderText() override { return m_window.ReadInstallFolderText(); }
  void SetStatusText(const std::wstring& strText) override { m_window.SetStatusText(strText); }
  void SetProgressPosition(unsigned nPermille) override { m_window.SetProgressPosition(nPermille); }
  void ShowProgressState() override { m_window.ShowProgressState(); }
  MessageBoxAnswer ShowMessageBox(const std::wstring& strText, const std::wstring& strCaption, MessageBoxKind,
                                  WindowOwner) override {
    m_boxes.push_back(strCaption + L"|" + strText);
    return MessageBoxAnswer::Ok;
  }
  bool ShowContactDialog(WindowOwner) override { return false; }
  std::wstring ChooseFolder() override {
    ++m_nPicks;
    return std::exchange(m_strNextPick, std::wstring());
  }
  void OpenWebPage(const std::wstring&, WindowOwner) override {}
  int RunMessageLoop() override { return m_window.RunMessageLoop(); }
  void EndRun(int nExitCode) override { m_window.EndRun(nExitCode); }
  void ServeSentMessages() override { m_window.ServeSentMessages(); }

  std::wstring m_strNextPick;  // what the next pick gives, then cancel
  int m_nPicks = 0;
  std::vector<std::wstring> m_boxes;

private:
  IMainWindow& m_window;
};

// Gives CMainDlg a window for a while, then the fixture's back.
class CAttachedWindow {
public:
  CAttachedWindow(IMainWindow& window, IMainWindow& restore) : m_restore(restore) {
    CMainDlg::GetInstance().AttachWindow(&window);
  }
  ~CAttachedWindow() { CMainDlg::GetInstance().AttachWindow(&m_restore); }
  CAttachedWindow(const CAttachedWindow&) = delete;
  CAttachedWindow& operator=(const CAttachedWindow&) = delete;

private:
  IMainWindow& m_restore;
};

constexpr const wchar_t* kTooLongBox = L"安装路径错误|安装路径过长,请更换安装位置。";

// The picker's folder gets the game's tail, so a long picked base makes a
// folder longer than the field's 259 characters. The field hands it back
// whole, and the check refuses that folder, never a cut one.
TEST_F(Win32MainWindowTest, ALongPickedFolderIsRefusedWholeNotCut) {
  CMainDlg& dlg = CMainDlg::GetInstance();
  CScriptedPicker picker(*m_pWindow);
  CAttachedWindow attached(picker, *m_pWindow);
  CTempFolder temp;
  const std::wstring strTail = L"\\TarnGame\\ashfallbattle";
  for (std::size_t nFolderLength : {238u, 259u, 260u, 300u}) {
    SCOPED_TRACE(nFolderLength);
    const std::wstring strBase =
        PathOfLength(temp.Child(L"picked"), nFolderLength - strTail.size(), L'\\');
    const std::wstring strFolder = strBase + strTail;
    picker.m_strNextPick = strBase;
    picker.m_nPicks = 0;
    picker.m_boxes.clear();

    dlg.OnBrowse();
    ASSERT_EQ(dlg.m_strInstallFolder, strFolder);
    EXPECT_EQ(WideToUtf8(dlg.ReadInstallFolderText()), WideToUtf8(strFolder));

    EXPECT_FALSE(dlg.CheckInstallFolder());
    EXPECT_EQ(WideToUtf8(dlg.m_strInstallFolder), WideToUtf8(strFolder));
    EXPECT_EQ(picker.m_boxes, std::vector<std::wstring>{kTooLongBox});
    EXPECT_EQ(picker.m_nPicks, 2) << "the user was not asked for another folder";
    EXPECT_FALSE(std::filesystem::exists(temp.Fs() / L"picked")) << "made before it was refused";
  }
}

// Typed or pasted text stops at what the field takes; what it keeps of a
// long folder is still refused.
TEST_F(Win32MainWindowTest, ALongPastedFolderIsRefused) {
  CMainDlg& dlg = CMainDlg::GetInstance();
  CScriptedPicker picker(*m_pWindow);
  CAttachedWindow attached(picker, *m_pWindow);
  CTempFolder temp;
  const std::wstring strPasted = PathOfLength(temp.Child(L"pasted"), 300, L'\\');
  HWND hEdit = Window().FolderEdit();
  SendMessageW(hEdit, EM_SETSEL, 0, -1);
  SendMessageW(hEdit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(strPasted.c_str()));
  ASSERT_FALSE(dlg.ReadInstallFolderText().empty());

  EXPECT_FALSE(dlg.CheckInstallFolder());
  EXPECT_EQ(picker.m_boxes, std::vector<std::wstring>{kTooLongBox});
  EXPECT_FALSE(std::filesystem::exists(temp.Fs() / L"pasted")) << "made before it was refused";
}

}  // namespace

#endif  // _WIN32
