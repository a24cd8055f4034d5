#include "platform/CurlLibrary.h"

#include <curl/curl.h>

#include <mutex>

namespace platform {

void EnsureCurlInitialised() {
  static std::once_flag s_once;
  std::call_once(s_once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

}  // namespace platform
