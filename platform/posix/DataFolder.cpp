#include "platform/posix/DataFolder.h"

#include <sys/stat.h>

#include "platform/AppData.h"
#include "platform/CodePage.h"

namespace platform {

std::string EnsureDataFolder() {
  std::wstring strCommon;
  GetCommonAppDataFolder(strCommon);
  const std::string strFolder = WideToNarrow(strCommon) + "/Tarn.net";
  ::mkdir(strFolder.c_str(), 0755);  // "exists" is the usual answer
  return strFolder;
}

}  // namespace platform
