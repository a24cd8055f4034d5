// The window's picture buttons (install, close, minimise): a push button
// showing one of the program's bitmaps.
#pragma once

#include <windows.h>

// A child button at 0,0 with size 0 that sends nCommand and shows bitmap
// resource nBitmapId; null when the button cannot be created.
HWND CreateImageButton(HWND hParent, HINSTANCE hInstance, int nCommand, int nBitmapId);

// Frees the bitmap the button shows; for the button's last moments.
void ReleaseImageButton(HWND hButton);
