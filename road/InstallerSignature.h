// The downloaded installer's publisher check: the road starts no installer
// that is not signed by the compiled-in publisher.
#pragma once

#include <cstdint>
#include <string>

#include "platform/FileReadLock.h"

// 0 when the installer at strPath may run; installerLock then holds the file,
// from before the check until the caller lets it go once the installer has
// started, so that no one can swap it in between. Otherwise nothing is held,
// the file is deleted, the address's cache entry purged, "InstallerSignature:"
// and the reason appended to strLog, and a failure status returned (the trust
// provider's, when it refused the file): the source counts as failed. An empty
// publisher, or a system without a trust provider, passes every file it can
// hold and says so in the log once per run.
std::int32_t CheckDownloadedInstaller(const std::wstring& strPath, const std::wstring& strUrl,
                                      const std::wstring& strPublisher, std::wstring& strLog,
                                      platform::CFileReadLock& installerLock);
