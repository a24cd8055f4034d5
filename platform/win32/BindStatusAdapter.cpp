#include "platform/win32/BindStatusAdapter.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <thread>
#include <utility>

#include "platform/SlicedWait.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// After an abort urlmon unwinds the binding on the worker's own thread, which
// takes milliseconds; a worker still busy after this long is left behind.
constexpr std::chrono::milliseconds kAbortGrace = std::chrono::seconds(5);

std::chrono::milliseconds Capped(std::chrono::milliseconds limit) {
  return std::min(limit, kLongestWait);
}

// Statuses urlmon reports only once a connection stands.
bool MeansConnected(ULONG ulStatusCode) {
  switch (ulStatusCode) {
    case kBindStatusSendingRequest:
    case kBindStatusBeginDownloadData:
    case kBindStatusDownloadingData:
    case kBindStatusEndDownloadData:
    case kBindStatusMimeTypeAvailable:
    case kBindStatusCacheFileNameAvailable:
      return true;
    default:
      return false;
  }
}

class CComApartment {
public:
  CComApartment() : m_hResult(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~CComApartment() {
    if (SUCCEEDED(m_hResult)) CoUninitialize();
  }
  CComApartment(const CComApartment&) = delete;
  CComApartment& operator=(const CComApartment&) = delete;

private:
  HRESULT m_hResult;
};

// What one download shares between its worker and the caller. The worker
// holds its own reference, so a caller that gave up can go while the worker
// still runs.
struct BindingRun {
  explicit BindingRun(IProgressSink* pSink) : adapter(pSink) {}
  CBindStatusAdapter adapter;
  std::mutex csRun;
  std::condition_variable cvDone;
  bool bDone = false;
  HRESULT hResult = kInetDownloadFailure;
};

}  // namespace

CBindStatusAdapter::CBindStatusAdapter(IProgressSink* pSink)
    : m_pSink(pSink), m_tStart(Clock::now()), m_tLastActivity(m_tStart) {}

CBindStatusAdapter::~CBindStatusAdapter() {
  if (m_pBinding != nullptr) m_pBinding->Release();
}

HRESULT STDMETHODCALLTYPE CBindStatusAdapter::QueryInterface(REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback)) {
    *ppvObject = static_cast<IBindStatusCallback*>(this);
  } else if (IsEqualIID(riid, IID_IHttpNegotiate)) {
    // urlmon hands the answer's status code to this interface only.
    *ppvObject = static_cast<IHttpNegotiate*>(this);
  } else {
    *ppvObject = nullptr;
    return E_NOINTERFACE;
  }
  return S_OK;
}

ULONG STDMETHODCALLTYPE CBindStatusAdapter::AddRef() {
  return 1;
}

ULONG STDMETHODCALLTYPE CBindStatusAdapter::Release() {
  return 1;
}

HRESULT STDMETHODCALLTYPE CBindStatusAdapter::OnStartBinding(DWORD, IBinding* pBinding) {
  std::lock_guard<std::mutex> lock(m_csState);
  // Kept for Abort, which comes from the thread that watches the limits.
  if (pBinding != nullptr && m_pBinding == nullptr) {
    pBinding->AddRef();
    m_pBinding = pBinding;
  }
  return m_bAbort ? E_ABORT : S_OK;
}

HRESULT STDMETHODCALLTYPE CBindStatusAdapter::GetPriority(LONG*) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CBindStatusAdapter::OnLowResource(DWORD) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CBindStatusAdapter::OnProgress(ULONG ulProgress, ULONG ulProgressMax,
                                                          ULONG ulStatusCode, LPCWSTR) {
  NoteActivity(MeansConnected(ulStatusCode));
  bool bStop = false;
  {
    std::lock_guard<std::mutex> lock(m_csSink);
    if (m_pSink != nullptr) {
      m_pSink->OnProgress(ulProgress, ulProgressMax, ulStatusCode);
      bStop = m_pSink->IsStopRequested();
    }
  }
  std::lock_guard<std::mutex> lock(m_csState);
  // A stop seen here ends the binding without waiting for the watcher's turn.
  if (bStop) m_bAbort = true;
  return m_bAbort ? E_ABORT : S_OK;
}

HRESULT STDMETHODCALLTYPE CBindStatusAdapter::OnStopBinding(HRESULT, LPCWSTR) {
  IBinding* pBinding = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_csState);
    pBinding = std::exchange(m_pBinding, nullptr);
  }
  if (pBinding != nullptr) pBinding->Release();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBindStatusAdapter::GetBindInfo(DWORD*, BINDINFO*) {
  // urlmon's default bind options apply.
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CBindStatusAdapter::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) {
  NoteActivity(true);
  std::lock_guard<std::mutex> lock(m_csState);
  return m_bAbort ? E_ABORT : E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CBindStatusAdapter::OnObjectAvailable(REFIID, IUnknown*) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CBindStatusAdapter::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD,
                                                                    LPWSTR* pszAdditionalHeaders) {
  if (pszAdditionalHeaders != nullptr) *pszAdditionalHeaders = nullptr;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBindStatusAdapter::OnResponse(DWORD dwResponseCode, LPCWSTR, LPCWSTR,
                                                          LPWSTR* pszAdditionalRequestHeaders) {
  if (pszAdditionalRequestHeaders != nullptr) *pszAdditionalRequestHeaders = nullptr;
  NoteActivity(true);
  std::lock_guard<std::mutex> lock(m_csState);
  m_nHttpStatus = dwResponseCode;
  return S_OK;
}

DWORD CBindStatusAdapter::HttpStatus() const {
  std::lock_guard<std::mutex> lock(m_csState);
  return m_nHttpStatus;
}

Clock::time_point CBindStatusAdapter::LimitDeadline(const TransferLimits& limits) const {
  std::lock_guard<std::mutex> lock(m_csState);
  Clock::time_point deadline = Clock::time_point::max();
  if (limits.stall > std::chrono::milliseconds::zero()) deadline = m_tLastActivity + Capped(limits.stall);
  if (limits.connect > std::chrono::milliseconds::zero() && !m_bConnected) {
    deadline = std::min(deadline, m_tStart + Capped(limits.connect));
  }
  return deadline;
}

void CBindStatusAdapter::Abort() {
  IBinding* pBinding = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_csState);
    m_bAbort = true;
    pBinding = m_pBinding;
    if (pBinding != nullptr) pBinding->AddRef();
  }
  // Outside the lock: urlmon may call back into this object while it aborts.
  if (pBinding != nullptr) {
    pBinding->Abort();
    pBinding->Release();
  }
}

void CBindStatusAdapter::DetachSink() {
  std::lock_guard<std::mutex> lock(m_csSink);
  m_pSink = nullptr;
}

void CBindStatusAdapter::NoteActivity(bool bConnected) {
  std::lock_guard<std::mutex> lock(m_csState);
  m_tLastActivity = Clock::now();
  if (bConnected) m_bConnected = true;
}

std::int32_t HttpStatusResult(DWORD nHttpStatus) {
  if (nHttpStatus < 400) return 0;
  return nHttpStatus == 404 ? kInetObjectNotFound : kInetDownloadFailure;
}

HRESULT RunBoundedBinding(std::function<HRESULT(IBindStatusCallback*)> download, IProgressSink* pSink,
                          const TransferLimits& limits, DWORD& nHttpStatus) {
  nHttpStatus = 0;
  const Clock::time_point tStart = Clock::now();
  auto pRun = std::make_shared<BindingRun>(pSink);
  // urlmon takes no time limit and a stalled peer can hold its call for
  // minutes, so the call runs on a worker and the caller watches the clock.
  try {
    std::thread([pRun, download = std::move(download)] {
      HRESULT hResult = kInetDownloadFailure;
      {
        CComApartment apartment;
        hResult = download(&pRun->adapter);
      }
      std::lock_guard<std::mutex> lock(pRun->csRun);
      pRun->hResult = hResult;
      pRun->bDone = true;
      pRun->cvDone.notify_all();
    }).detach();
  } catch (const std::exception&) {
    return kInetDownloadFailure;
  }

  const Clock::time_point tTotalDeadline =
      limits.total > std::chrono::milliseconds::zero() ? tStart + Capped(limits.total) : Clock::time_point::max();
  bool bAborted = false;
  bool bStopped = false;
  Clock::time_point tGiveUp = Clock::time_point::max();
  std::unique_lock<std::mutex> lock(pRun->csRun);
  while (!pRun->bDone) {
    // The sink is asked on this thread, between waits of at most kStopPollInterval.
    if (pSink != nullptr && pSink->IsStopRequested()) {
      bStopped = true;
      break;
    }
    const Clock::time_point tNow = Clock::now();
    if (tNow >= tTotalDeadline || tNow >= tGiveUp) break;
    Clock::time_point tWake = std::min({tTotalDeadline, tGiveUp, tNow + kLongestWait});
    if (pSink != nullptr) tWake = std::min(tWake, tNow + kStopPollInterval);
    if (!bAborted) {
      const Clock::time_point tLimit = pRun->adapter.LimitDeadline(limits);
      if (tNow >= tLimit) {
        bAborted = true;
        tGiveUp = tNow + kAbortGrace;
        lock.unlock();
        pRun->adapter.Abort();
        lock.lock();
        continue;
      }
      tWake = std::min(tWake, tLimit);
    }
    pRun->cvDone.wait_until(lock, tWake);
  }
  const bool bDone = pRun->bDone;
  const HRESULT hResult = pRun->hResult;
  lock.unlock();
  // A binding that OnProgress ended on the sink's word counts as stopped too.
  if (!bStopped && pSink != nullptr) bStopped = pSink->IsStopRequested();

  // The sink belongs to the caller, who may be gone once this returns.
  pRun->adapter.DetachSink();
  if (!bDone) {
    // Left behind: the abort lets it end soon instead of with the peer.
    if (!bAborted) pRun->adapter.Abort();
    return bStopped ? kTransferAborted : kInetTimeout;
  }
  if (hResult == S_OK) {
    nHttpStatus = pRun->adapter.HttpStatus();
    return S_OK;
  }
  if (bStopped) return kTransferAborted;
  return bAborted ? kInetTimeout : hResult;
}

}  // namespace platform
