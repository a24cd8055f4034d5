// The downloaded installer's publisher check: the road starts no installer
// that is not signed by the compiled-in publisher.
#pragma once

#include <cstdint>
#include <string>

// 0 when the installer at strPath may run. Otherwise the file is deleted, the
// address's cache entry purged, "InstallerSignature:" and the reason appended
// to strLog, and the trust provider's status returned: the source counts as
// failed. An empty publisher, or a system without a trust provider, passes
// every file and says so in the log once per run.
std::int32_t CheckDownloadedInstaller(const std::wstring& strPath, const std::wstring& strUrl,
                                      const std::wstring& strPublisher, std::wstring& strLog);
