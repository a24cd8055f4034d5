// CImageButton: one of the window's picture buttons (install, close,
// minimise). A push button showing a bitmap, subclassed so that it shows its
// hover bitmap while the mouse is over it.
#pragma once

#include <windows.h>

class CImageButton {
public:
  // Creates the child button at 0,0 with size 0 (the owner's layout places
  // it), sending command nID to hParent, and subclasses it. The button's
  // handle, null when it cannot be created.
  HWND Create(HWND hParent, int nID);

  // Every message of a subclassed button passes here on its way to the
  // button's own procedure.
  static LRESULT CALLBACK ImageButtonProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

  HWND m_hWnd = nullptr;
  HWND m_hParent = nullptr;
  // Set by the owner after Create; the button never frees them.
  HBITMAP m_hBmpNormal = nullptr;
  HBITMAP m_hBmpHover = nullptr;
  int m_nID = 0;  // command id = control id
  bool m_bHover = false;  // the hover bitmap is showing
};
