#include "ui/win32/ImageButton.h"

#include <cstdint>
#include <map>

#include "log/Log.h"

namespace {

struct CSubclassEntry {
  WNDPROC oldProc = nullptr;
  CImageButton* pBtn = nullptr;
};

// Every subclassed button of the process, by handle. Built before the entry
// point runs, so it outlives every button; entries are never removed.
std::map<HWND, CSubclassEntry> g_mapSubclass;

}  // namespace

HWND CImageButton::Create(HWND hParent, int nID) {
  m_hParent = hParent;
  m_nID = nID;
  const auto hInstance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hParent, GWLP_HINSTANCE));
  m_hWnd = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_BITMAP, 0, 0, 0, 0, hParent,
                           reinterpret_cast<HMENU>(static_cast<std::intptr_t>(nID)), hInstance, nullptr);
  if (m_hWnd == nullptr) return nullptr;

  const auto oldProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CImageButton::ImageButtonProc)));
  // Not subclassed: the button still works, it only shows no hover image.
  if (oldProc == nullptr) return m_hWnd;
  g_mapSubclass[m_hWnd] = {oldProc, this};

  // The class's cursor: every button of the process gets the hand, on purpose.
  SetClassLongPtrW(m_hWnd, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(LoadCursorW(nullptr, IDC_HAND)));
  return m_hWnd;
}

LRESULT CALLBACK CImageButton::ImageButtonProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  const CSubclassEntry& cb = g_mapSubclass[hWnd];
  if (!(cb.oldProc && cb.pBtn)) {
    CLog::GetInstance().Write("ImageButton.cpp: assertion failed: cb.oldProc && cb.pBtn");
    return DefWindowProcW(hWnd, uMsg, wParam, lParam);
  }

  CImageButton& btn = *cb.pBtn;
  switch (uMsg) {
    case WM_MOUSEMOVE:
      // Only the move that enters sets the image: the button repaints on
      // every BM_SETIMAGE.
      if (!btn.m_bHover) {
        SendMessageW(hWnd, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(btn.m_hBmpHover));
        btn.m_bHover = true;
        // The button's own tracking cannot be relied on for the leave: Wine's
        // button asks for it only while no window of the process is tracked,
        // so after another tracked window the hover picture would stay.
        TRACKMOUSEEVENT tme{};
        tme.cbSize = sizeof(tme);
        tme.dwFlags = TME_LEAVE;
        tme.hwndTrack = hWnd;
        TrackMouseEvent(&tme);
      }
      break;
    case WM_MOUSELEAVE:
      SendMessageW(hWnd, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(btn.m_hBmpNormal));
      btn.m_bHover = false;
      break;
    default:
      break;
  }
  return CallWindowProcW(cb.oldProc, hWnd, uMsg, wParam, lParam);
}
