// COM for the calling thread for as long as the object lives: the shell's
// folder picker and ShellExecuteW's handlers need a single-threaded apartment.
#pragma once

#include <objbase.h>

class CComApartment {
public:
  CComApartment() {
    // S_FALSE (already initialised this way) also needs its CoUninitialize;
    // a thread already in another apartment keeps it and is left alone.
    m_bInitialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  }
  ~CComApartment() {
    if (m_bInitialised) CoUninitialize();
  }
  CComApartment(const CComApartment&) = delete;
  CComApartment& operator=(const CComApartment&) = delete;

private:
  bool m_bInitialised = false;
};
