// The main window's three fonts; they live as long as the controls that use
// them.
#pragma once

#include <windows.h>

class CWindowFonts {
public:
  CWindowFonts() = default;
  ~CWindowFonts();
  CWindowFonts(const CWindowFonts&) = delete;
  CWindowFonts& operator=(const CWindowFonts&) = delete;

  // Creates the fonts; a font the system refuses stays null, and its controls
  // keep the system font.
  void Create();
  void Release();

  HFONT TextFont() const { return m_hTextFont; }
  HFONT StatusFont() const { return m_hStatusFont; }
  HFONT SmallFont() const { return m_hSmallFont; }

private:
  HFONT m_hTextFont = nullptr;    // label, edit, browse button
  HFONT m_hStatusFont = nullptr;  // status line
  HFONT m_hSmallFont = nullptr;   // version line
};
