#include "ui/win32/WindowFonts.h"

namespace {

constexpr const wchar_t* kFontFace = L"微软雅黑";

constexpr int kTextHeight = 20;
constexpr int kTextWeight = 500;
constexpr int kStatusHeight = 26;
constexpr int kStatusWeight = 900;
constexpr int kSmallHeight = 16;
constexpr int kSmallWeight = 400;

HFONT MakeFont(int nHeight, int nWeight) {
  // Width 0: the face's normal aspect.
  return CreateFontW(nHeight, 0, 0, 0, nWeight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, kFontFace);
}

void DeleteFont(HFONT& hFont) {
  if (hFont != nullptr) DeleteObject(hFont);
  hFont = nullptr;
}

}  // namespace

CWindowFonts::~CWindowFonts() { Release(); }

void CWindowFonts::Create() {
  Release();
  m_hTextFont = MakeFont(kTextHeight, kTextWeight);
  m_hStatusFont = MakeFont(kStatusHeight, kStatusWeight);
  m_hSmallFont = MakeFont(kSmallHeight, kSmallWeight);
}

void CWindowFonts::Release() {
  DeleteFont(m_hTextFont);
  DeleteFont(m_hStatusFont);
  DeleteFont(m_hSmallFont);
}
