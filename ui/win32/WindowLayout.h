// Where the main window's controls go for a client area: plain arithmetic,
// kept apart from the window so that it reads (and checks) on its own.
#pragma once

struct CControlRect {
  int nX = 0;
  int nY = 0;
  int nWidth = 0;
  int nHeight = 0;
};

struct CMainWindowLayout {
  CControlRect rcInstall;
  CControlRect rcClose;
  CControlRect rcMinimise;
  CControlRect rcFolderLabel;
  CControlRect rcFolderEdit;
  CControlRect rcStatus;
  CControlRect rcProgress;
  CControlRect rcVersion;
};

// The layout for a client area nWidth x nHeight whose left edge is nLeft.
CMainWindowLayout ComputeMainWindowLayout(int nLeft, int nWidth, int nHeight);

// The browse button sits right after the folder edit's client area, so its
// place depends on the edit's client width once the edit has been moved.
CControlRect ComputeBrowseButtonRect(int nLeft, int nHeight, int nEditClientWidth);
