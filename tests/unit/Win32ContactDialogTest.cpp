// Dialog 110 from the program's resources with its own procedure, made
// modeless in this process: its caption, fields and button, what the number
// fields accept, and what a long entry reads back as. Closing and submitting
// end the run, so neither happens here.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "common/Common.h"
#include "ui/ContactDialog.h"
#include "ui/win32/ResourceIds.h"
#include "ui/win32/Win32MainWindow.h"

namespace {

constexpr const wchar_t* kCaption = L"《Ashfall》在安装过程中遇到未知错误";
constexpr int kFieldBuffer = 64;  // what the dialog reads a field with
constexpr std::size_t kLongEntry = 80;

std::wstring TextOf(HWND hWnd) {
  wchar_t szText[256] = {};
  const int nLength = GetWindowTextW(hWnd, szText, 256);
  return std::wstring(szText, nLength > 0 ? static_cast<std::size_t>(nLength) : 0);
}

std::wstring ClassOf(HWND hWnd) {
  wchar_t szClass[64] = {};
  const int nLength = GetClassNameW(hWnd, szClass, 64);
  return std::wstring(szClass, nLength > 0 ? static_cast<std::size_t>(nLength) : 0);
}

bool IsClass(HWND hWnd, const wchar_t* szClass) {
  return CompareStringOrdinal(ClassOf(hWnd).c_str(), -1, szClass, -1, TRUE) == CSTR_EQUAL;
}

DWORD StyleOf(HWND hWnd) { return static_cast<DWORD>(GetWindowLongPtrW(hWnd, GWL_STYLE)); }

// The rectangle of a control in the dialog's client coordinates.
RECT RectInDialog(HWND hControl) {
  RECT rc{};
  GetWindowRect(hControl, &rc);
  MapWindowPoints(nullptr, GetParent(hControl), reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

BOOL CALLBACK CollectChild(HWND hChild, LPARAM lParam) {
  reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hChild);
  return TRUE;
}

// The text of the label just left of a field, on the field's row.
std::wstring LabelOf(HWND hDlg, HWND hField) {
  std::vector<HWND> children;
  EnumChildWindows(hDlg, CollectChild, reinterpret_cast<LPARAM>(&children));
  const RECT rcField = RectInDialog(hField);
  HWND hLabel = nullptr;
  LONG nBestRight = LONG_MIN;
  for (HWND hChild : children) {
    if (!IsClass(hChild, L"Static")) continue;
    const RECT rc = RectInDialog(hChild);
    const bool bSameRow = rc.top < rcField.bottom && rc.bottom > rcField.top;
    if (bSameRow && rc.right <= rcField.left && rc.right > nBestRight) {
      nBestRight = rc.right;
      hLabel = hChild;
    }
  }
  return hLabel != nullptr ? TextOf(hLabel) : std::wstring();
}

void Type(HWND hField, const std::wstring& strKeys) {
  for (wchar_t ch : strKeys) SendMessageW(hField, WM_CHAR, ch, 0);
}

std::wstring ReadBack(HWND hDlg, int nId) {
  wchar_t szText[kFieldBuffer] = {};
  GetDlgItemTextW(hDlg, nId, szText, kFieldBuffer);
  return szText;
}

class Win32ContactDialogTest : public testing::Test {
protected:
  void SetUp() override {
    m_hDlg = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CONTACT), nullptr, ContactDlgProc, 0);
    ASSERT_NE(m_hDlg, nullptr);
  }
  // Destroying sends no WM_CLOSE: the dialog goes without ending the run.
  void TearDown() override {
    if (m_hDlg != nullptr) DestroyWindow(m_hDlg);
  }

  HWND Field(int nId) const { return GetDlgItem(m_hDlg, nId); }

  HWND m_hDlg = nullptr;
};

TEST_F(Win32ContactDialogTest, CaptionFieldsAndSubmitButtonAreTheProgramsOwn) {
  EXPECT_EQ(WideToUtf8(TextOf(m_hDlg)), WideToUtf8(kCaption));

  const struct {
    int nId;
    const char* szLabel;
    bool bNumber;
  } fields[] = {
      {IDC_CONTACT_QQ, "QQ：", true},
      {IDC_CONTACT_WECHAT, "微信：", false},
      {IDC_CONTACT_MOBILE, "手机：", true},
  };
  for (const auto& f : fields) {
    SCOPED_TRACE(f.szLabel);
    HWND hField = Field(f.nId);
    ASSERT_NE(hField, nullptr);
    EXPECT_TRUE(IsClass(hField, L"Edit")) << WideToUtf8(ClassOf(hField));
    EXPECT_EQ((StyleOf(hField) & ES_NUMBER) != 0, f.bNumber);
    EXPECT_NE(StyleOf(hField) & ES_AUTOHSCROLL, 0u);
    EXPECT_EQ(TextOf(hField), L"");
    EXPECT_EQ(WideToUtf8(LabelOf(m_hDlg, hField)), f.szLabel);
  }

  HWND hSubmit = Field(IDOK);
  ASSERT_NE(hSubmit, nullptr);
  EXPECT_TRUE(IsClass(hSubmit, L"Button"));
  EXPECT_EQ(WideToUtf8(TextOf(hSubmit)), "提交");
  EXPECT_EQ(StyleOf(hSubmit) & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
  // Enter in a field presses it.
  EXPECT_EQ(SendMessageW(m_hDlg, DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
}

TEST_F(Win32ContactDialogTest, NumberFieldsTakeOnlyDigits) {
  const struct {
    int nId;
    const char* szName;
    std::wstring strKept;
  } cases[] = {
      {IDC_CONTACT_QQ, "QQ", L"12345"},
      {IDC_CONTACT_WECHAT, "WeChat", L"wx1-2_3a4b5"},
      {IDC_CONTACT_MOBILE, "mobile", L"12345"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szName);
    Type(Field(c.nId), L"wx1-2_3a4b5");
    EXPECT_EQ(TextOf(Field(c.nId)), c.strKept);
  }
}

TEST_F(Win32ContactDialogTest, LongEntryReadsBackAs63Characters) {
  std::wstring strDigits;
  std::wstring strWechat = L"wx_";
  while (strDigits.size() < kLongEntry) strDigits += L"1234567890";
  strDigits.resize(kLongEntry);
  while (strWechat.size() < kLongEntry) strWechat += L"abcdefghij";
  strWechat.resize(kLongEntry);

  Type(Field(IDC_CONTACT_QQ), strDigits);
  Type(Field(IDC_CONTACT_WECHAT), strWechat);
  Type(Field(IDC_CONTACT_MOBILE), strDigits);

  for (int nId : {IDC_CONTACT_QQ, IDC_CONTACT_WECHAT, IDC_CONTACT_MOBILE}) {
    SCOPED_TRACE(nId);
    // The field holds the whole entry: the cut is the read's.
    EXPECT_EQ(GetWindowTextLengthW(Field(nId)), static_cast<int>(kLongEntry));
    EXPECT_EQ(ReadBack(m_hDlg, nId).size(), kContactFieldMax);
  }

  const std::wstring strReason = BuildContactReason(ReadBack(m_hDlg, IDC_CONTACT_QQ),
                                                    ReadBack(m_hDlg, IDC_CONTACT_WECHAT),
                                                    ReadBack(m_hDlg, IDC_CONTACT_MOBILE));
  const std::wstring strDigits63 = strDigits.substr(0, kContactFieldMax);
  EXPECT_EQ(strReason, L"ContactBtnOK,QQ=" + strDigits63 + L",Wechat=" + strWechat.substr(0, kContactFieldMax) +
                           L",Mobile=" + strDigits63);
  // The same reason as from the whole entries.
  EXPECT_EQ(strReason, BuildContactReason(strDigits, strWechat, strDigits));
}

}  // namespace

#endif  // _WIN32
