#include "ui/win32/ImageButton.h"

#include <cstdint>

HWND CreateImageButton(HWND hParent, HINSTANCE hInstance, int nCommand, int nBitmapId) {
  HWND hButton = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | BS_BITMAP, 0, 0, 0, 0,
                                 hParent, reinterpret_cast<HMENU>(static_cast<std::intptr_t>(nCommand)), hInstance,
                                 nullptr);
  if (hButton == nullptr) return nullptr;
  // The button shows the bitmap but does not own it: ReleaseImageButton does.
  if (HBITMAP hBitmap = LoadBitmapW(hInstance, MAKEINTRESOURCEW(nBitmapId))) {
    SendMessageW(hButton, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(hBitmap));
  }
  return hButton;
}

void ReleaseImageButton(HWND hButton) {
  if (hButton == nullptr) return;
  const LRESULT nOld = SendMessageW(hButton, BM_SETIMAGE, IMAGE_BITMAP, 0);
  if (nOld != 0) DeleteObject(reinterpret_cast<HBITMAP>(nOld));
}
