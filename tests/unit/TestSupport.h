// Small helpers shared by the unit tests.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

// A fresh folder under the system's temporary folder, removed afterwards.
class CTempFolder {
public:
  CTempFolder() {
    static std::atomic<unsigned> s_nCounter{0};
    const auto nStamp = std::chrono::steady_clock::now().time_since_epoch().count();
    m_path = std::filesystem::temp_directory_path() /
             ("fetchlet-test-" + std::to_string(nStamp) + "-" + std::to_string(s_nCounter++));
    std::filesystem::create_directories(m_path);
  }
  ~CTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  CTempFolder(const CTempFolder&) = delete;
  CTempFolder& operator=(const CTempFolder&) = delete;

  std::wstring Path() const { return m_path.wstring(); }
  std::wstring Child(const std::wstring& strName) const { return (m_path / strName).wstring(); }
  const std::filesystem::path& Fs() const { return m_path; }

private:
  std::filesystem::path m_path;
};

inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

inline void WriteWholeFile(const std::filesystem::path& path, const std::string& strContent) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << strContent;
}

// Decodes form-style percent encoding ("+" is a space) into UTF-8 bytes.
inline std::string FormDecode(const std::wstring& strEncoded) {
  std::string strOut;
  for (std::size_t i = 0; i < strEncoded.size(); ++i) {
    const wchar_t c = strEncoded[i];
    if (c == L'+') {
      strOut += ' ';
    } else if (c == L'%' && i + 2 < strEncoded.size()) {
      strOut += static_cast<char>(std::stoi(std::string(strEncoded.begin() + i + 1, strEncoded.begin() + i + 3),
                                            nullptr, 16));
      i += 2;
    } else {
      strOut += static_cast<char>(c);
    }
  }
  return strOut;
}

// The query fields of a request URL, in their encoded form.
inline std::map<std::wstring, std::wstring> QueryFields(const std::wstring& strUrl) {
  std::map<std::wstring, std::wstring> fields;
  const auto q = strUrl.find(L'?');
  if (q == std::wstring::npos) return fields;
  std::wstringstream query(strUrl.substr(q + 1));
  std::wstring strPair;
  while (std::getline(query, strPair, L'&')) {
    const auto eq = strPair.find(L'=');
    fields[strPair.substr(0, eq)] = eq == std::wstring::npos ? L"" : strPair.substr(eq + 1);
  }
  return fields;
}

// A path of exactly nLength characters below strBase (which must be shorter
// by at least 2), in components of at most 100 characters.
inline std::wstring PathOfLength(const std::wstring& strBase, std::size_t nLength, wchar_t cSeparator) {
  std::wstring strPath = strBase;
  while (strPath.size() < nLength) {
    std::size_t nPart = std::min<std::size_t>(nLength - strPath.size(), 100);
    if (nLength - strPath.size() - nPart == 1) --nPart;  // a lone separator cannot end a path
    strPath += cSeparator;
    strPath += std::wstring(nPart - 1, L'a');
  }
  return strPath;
}
