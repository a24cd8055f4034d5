#include "ui/win32/WindowLayout.h"

namespace {

constexpr int kInstallWidth = 300;
constexpr int kInstallHeight = 50;
constexpr int kInstallShiftX = 35;      // the button stands right of centre
constexpr int kInstallTop = 20;
constexpr int kInstallBottomSpace = 50;
constexpr float kInstallTopShare = 0.4f;

constexpr int kCaptionButtonSize = 20;
constexpr int kCaptionButtonTop = 10;
constexpr int kCloseFromRight = 30;
constexpr int kMinimiseFromRight = 60;

constexpr int kFieldFromBottom = 80;   // label, edit and browse button
constexpr int kLabelLeft = 140;
constexpr int kLabelWidth = 64;
constexpr int kEditLeft = 204;
constexpr int kEditExtraWidth = 5;
constexpr float kEditWidthShare = 0.46f;
constexpr double kFieldHeightShare = 0.09;
constexpr double kBrowseWidthShare = 0.12;

constexpr int kBarMargin = 10;         // status line and progress bar
constexpr int kStatusFromBottom = 100;
constexpr float kStatusHeightShare = 0.09f;
constexpr int kProgressFromBottom = 110;
constexpr float kProgressHeightShare = 0.035f;

constexpr int kVersionWidth = 180;
constexpr int kVersionHeight = 20;

// The field row's height is computed in double, unlike the status line's.
int FieldHeight(int nHeight) { return static_cast<int>(kFieldHeightShare * nHeight); }

}  // namespace

CMainWindowLayout ComputeMainWindowLayout(int nLeft, int nWidth, int nHeight) {
  CMainWindowLayout layout;
  layout.rcInstall = {(nWidth - kInstallWidth) / 2 + kInstallShiftX,
                      static_cast<int>(kInstallTop + kInstallTopShare * static_cast<float>(nHeight - kInstallBottomSpace)),
                      kInstallWidth, kInstallHeight};
  layout.rcClose = {nWidth - kCloseFromRight, kCaptionButtonTop, kCaptionButtonSize, kCaptionButtonSize};
  layout.rcMinimise = {nWidth - kMinimiseFromRight, kCaptionButtonTop, kCaptionButtonSize, kCaptionButtonSize};
  layout.rcFolderLabel = {nLeft + kLabelLeft, nHeight - kFieldFromBottom, kLabelWidth, FieldHeight(nHeight)};
  layout.rcFolderEdit = {nLeft + kEditLeft, nHeight - kFieldFromBottom,
                         static_cast<int>(kEditExtraWidth + kEditWidthShare * static_cast<float>(nWidth)),
                         FieldHeight(nHeight)};
  layout.rcStatus = {nLeft + kBarMargin, nHeight - kStatusFromBottom, nWidth - 2 * kBarMargin,
                     static_cast<int>(kStatusHeightShare * static_cast<float>(nHeight))};
  layout.rcProgress = {nLeft + kBarMargin, nHeight - kProgressFromBottom, nWidth - 2 * kBarMargin,
                       static_cast<int>(kProgressHeightShare * static_cast<float>(nHeight))};
  layout.rcVersion = {nWidth - kVersionWidth, nHeight - kVersionHeight, kVersionWidth, kVersionHeight};
  return layout;
}

CControlRect ComputeBrowseButtonRect(int nLeft, int nHeight, int nEditClientWidth) {
  return {nLeft + kEditLeft + nEditClientWidth, nHeight - kFieldFromBottom,
          static_cast<int>(kBrowseWidthShare * nHeight), FieldHeight(nHeight)};
}
