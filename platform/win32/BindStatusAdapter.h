// CBindStatusAdapter: the bind callback urlmon's download functions talk to.
// It forwards progress to the program's IProgressSink, keeps the HTTP status
// of the answer (urlmon reports an error page as a successful download) and
// can end the binding from another thread when a time limit runs out or the
// sink asks to stop.
// RunBoundedBinding runs one urlmon download under the TransferLimits.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/ProgressSink.h"
#include "platform/UrlCache.h"

namespace platform {

class CBindStatusAdapter : public IBindStatusCallback, public IHttpNegotiate {
public:
  explicit CBindStatusAdapter(IProgressSink* pSink);
  ~CBindStatusAdapter();
  CBindStatusAdapter(const CBindStatusAdapter&) = delete;
  CBindStatusAdapter& operator=(const CBindStatusAdapter&) = delete;

  // IUnknown. The object's owner decides its lifetime: no reference count.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IBindStatusCallback
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD dwReserved, IBinding* pBinding) override;
  HRESULT STDMETHODCALLTYPE GetPriority(LONG* pnPriority) override;
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD dwReserved) override;
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode,
                                       LPCWSTR szStatusText) override;
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT hResult, LPCWSTR szError) override;
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* grfBINDF, BINDINFO* pBindInfo) override;
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD grfBSCF, DWORD dwSize, FORMATETC* pFormatEtc,
                                            STGMEDIUM* pStgMedium) override;
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID riid, IUnknown* pUnknown) override;

  // IHttpNegotiate
  HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR szUrl, LPCWSTR szHeaders, DWORD dwReserved,
                                                 LPWSTR* pszAdditionalHeaders) override;
  HRESULT STDMETHODCALLTYPE OnResponse(DWORD dwResponseCode, LPCWSTR szResponseHeaders,
                                       LPCWSTR szRequestHeaders,
                                       LPWSTR* pszAdditionalRequestHeaders) override;

  // The status code of the server's answer; 0 when none was seen.
  DWORD HttpStatus() const;
  // When the connect or stall limit runs out, measured from the adapter's
  // creation and its last sign of progress; time_point::max() for no limit.
  std::chrono::steady_clock::time_point LimitDeadline(const TransferLimits& limits) const;
  // Ends the binding; safe from any thread. Later callbacks ask urlmon to
  // stop as well, in case the binding was not yet started.
  void Abort();
  // No sink call starts after this returns and none is still running.
  void DetachSink();

private:
  void NoteActivity(bool bConnected);

  mutable std::mutex m_csState;
  IProgressSink* m_pSink;
  std::mutex m_csSink;  // held across each sink call, so DetachSink can wait it out
  IBinding* m_pBinding = nullptr;
  bool m_bAbort = false;
  bool m_bConnected = false;
  DWORD m_nHttpStatus = 0;
  const std::chrono::steady_clock::time_point m_tStart;
  std::chrono::steady_clock::time_point m_tLastActivity;
};

// The status value for an HTTP status code: 0 below 400.
std::int32_t HttpStatusResult(DWORD nHttpStatus);

// Runs one urlmon download, given the callback to pass it, on a worker
// thread with its own COM apartment, and waits for it within the limits. A
// connect or stall limit that runs out aborts the binding; the total limit
// is a hard bound on the wait. The wait asks pSink at least every
// kStopPollInterval whether to stop; a stop aborts the binding and returns
// at once. Returns the download's result, kInetTimeout when a limit ran out
// or kTransferAborted on a stop; nHttpStatus is the answer's status code when
// the download reported success. Progress goes to pSink until this returns.
HRESULT RunBoundedBinding(std::function<HRESULT(IBindStatusCallback*)> download, IProgressSink* pSink,
                          const TransferLimits& limits, DWORD& nHttpStatus);

}  // namespace platform
