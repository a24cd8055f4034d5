// The fixture program that plays installer, launcher and platform by its
// own file name, as the unit tests start it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>

#include "platform/FileSystem.h"
#ifdef _WIN32
#include "platform/win32/OwnProgramPath.h"
#endif
#include "tests/unit/TestSupport.h"

// The build puts the fixture beside the test program (no build folder is
// compiled in, so a tree's compiles serve its clones too).
inline std::wstring FakeClientPath() {
#ifdef _WIN32
  return (std::filesystem::path(platform::OwnProgramPath()).parent_path() / L"fake_client.exe").wstring();
#else
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "fake_client").wstring();
#endif
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
