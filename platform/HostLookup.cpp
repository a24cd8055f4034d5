#include "platform/HostLookup.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/SlicedWait.h"
#include "platform/Socket.h"
#include "platform/SystemError.h"

namespace platform {

namespace {

// What the helper thread found. The caller and the helper share it, so it
// outlives whichever of them lets go of it first.
struct CLookupResult {
  std::mutex csResult;
  std::condition_variable finished;
  bool bFinished = false;
  bool bResolved = false;
  std::uint32_t nAddress = 0;
  unsigned long nError = 0;
};

void LookUp(const std::shared_ptr<CLookupResult>& pResult, const std::string& strHost) {
  std::uint32_t nAddress = 0;
  bool bResolved = false;
  unsigned long nError = 0;
  {
    // The thread's own hold on the network stack (Winsock): a caller that
    // gave up ends its session, which must not pull the stack away from
    // under a look-up still running here.
    CNetworkSession session;
    bResolved = session.StartError() == 0 && ResolveHostBlocking(strHost, nAddress);
    if (!bResolved) nError = GetLastErrorCode();
  }
  std::lock_guard<std::mutex> lock(pResult->csResult);
  pResult->bFinished = true;
  pResult->bResolved = bResolved;
  pResult->nAddress = nAddress;
  pResult->nError = nError;
  pResult->finished.notify_all();
}

bool FailWith(unsigned long nError) {
  SetLastErrorCode(nError);
  return false;
}

}  // namespace

bool ResolveHost(const std::string& strHost, std::uint32_t& nAddress, std::chrono::milliseconds timeout,
                 const StopCheck& fnStop) {
  // Neither asks the resolver: no reason to wait, nor to start a thread.
  if (strHost.empty() || ParseAddressLiteral(strHost, nAddress)) return ResolveHostBlocking(strHost, nAddress);
  if (timeout <= std::chrono::milliseconds::zero()) return FailWith(TimedOutErrorCode());
  if (fnStop && fnStop()) return FailWith(StoppedErrorCode());

  auto pResult = std::make_shared<CLookupResult>();
  try {
    std::thread(LookUp, pResult, strHost).detach();
  } catch (const std::system_error&) {
    // Without a thread the look-up could only run unbounded here.
    return FailWith(TimedOutErrorCode());
  }

  std::unique_lock<std::mutex> lock(pResult->csResult);
  const WaitOutcome outcome = WaitInSlices(timeout, fnStop, [&](std::chrono::milliseconds slice) {
    return pResult->finished.wait_for(lock, slice, [&] { return pResult->bFinished; }) ? 1 : 0;
  });
  if (outcome == WaitOutcome::kStopped) return FailWith(StoppedErrorCode());
  if (outcome != WaitOutcome::kReady) return FailWith(TimedOutErrorCode());
  if (!pResult->bResolved) return FailWith(pResult->nError);
  nAddress = pResult->nAddress;
  return true;
}

}  // namespace platform
