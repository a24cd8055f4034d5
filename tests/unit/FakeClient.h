// The fixture program that plays installer, launcher and platform by its
// own file name, as the unit tests start it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>

#include "platform/FileSystem.h"
#include "tests/unit/TestSupport.h"

// Where the build put the fixture, in this system's separators.
inline std::wstring FakeClientPath() {
  std::wstring strPath = L"" FETCHLET_FAKE_CLIENT;
  std::replace(strPath.begin(), strPath.end(), L'/', platform::kPathSeparator);
  return strPath;
}

// A copy of the fixture under the name that picks its role.
inline std::wstring CopyFakeClient(const CTempFolder& folder, const std::wstring& strName) {
  const std::wstring strTarget = folder.Child(strName);
  std::filesystem::copy_file(FakeClientPath(), strTarget);
  return strTarget;
}

// One variable of this process's environment, which started programs inherit;
// emptied again afterwards (the fixture takes empty for unset).
class CScopedEnvironment {
public:
  CScopedEnvironment(const std::string& strName, const std::string& strValue) : m_strName(strName) {
    Put(strValue);
  }
  ~CScopedEnvironment() { Put(""); }
  CScopedEnvironment(const CScopedEnvironment&) = delete;
  CScopedEnvironment& operator=(const CScopedEnvironment&) = delete;

private:
  void Put(const std::string& strValue) {
    // putenv keeps the text itself, so every text outlives the test.
    static std::deque<std::string> s_entries;
    s_entries.push_back(m_strName + "=" + strValue);
    EXPECT_EQ(putenv(s_entries.back().data()), 0);
  }

  std::string m_strName;
};
