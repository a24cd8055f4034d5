// The error and contact dialog's logic, shared by the Win32 dialog and the
// terminal front end.
#pragma once

#include <string>

inline constexpr std::size_t kContactFieldMax = 63;  // a 64-unit buffer with its terminator

// The exit reason for a submitted form ("ContactBtnOK" + the non-empty fields
// in the order QQ, WeChat, mobile); empty when all three fields are empty.
std::wstring BuildContactReason(std::wstring strQQ, std::wstring strWechat, std::wstring strMobile);

// Ends the run with the reason: exit event, queue drained, exit code 0 handed
// to the main thread. The dialog then closes and its caller returns.
void FinishContactDialog(const std::wstring& strReason);

inline constexpr const wchar_t* kContactCloseReason = L"ContactClose.";
inline constexpr const wchar_t* kContactEmptyText = L"请至少留下一种联系方式";
inline constexpr const wchar_t* kContactEmptyCaption = L"错误";
