// The silent install: the downloaded installer runs into the install folder
// while the window animates; when it ends the launch step follows.
#pragma once

#include <string>

#include "platform/FileReadLock.h"
#include "platform/Process.h"
#include "road/RoadWindow.h"

// Starts the installer and the thread that waits for it; true when the
// installer process was created. installerLock, which holds the file since
// its check, is let go as soon as the start has been tried.
bool Install(IRoadWindow& window, const std::wstring& strFile, platform::CFileReadLock installerLock);

// Waits for the installer, one poll a second, then calls LaunchPlatform.
void WaittingInstallThreadProc(IRoadWindow& window, platform::CProcess& installer);

// " /verysilent /suppressmsgboxes /DIR="<folder>"": the folder unchanged,
// kept one argument only by the quotes.
std::wstring BuildInstallerCommandLine(const std::wstring& strFolder);

// The installing text of the n-th poll: one, two or three dots for n mod 3
// equal to 0, 1 and 2.
std::wstring InstallingText(unsigned nPoll);
// The bar while the installer runs: 40 permille a poll, round and round.
unsigned InstallingPosition(unsigned nPoll);
