#include "platform/posix/CurlTransfer.h"

#include <curl/curl.h>
#include <strings.h>

#include <cstdio>
#include <memory>

#include "platform/CurlLibrary.h"

namespace platform {

namespace {

struct CurlDeleter {
  void operator()(CURL* p) const { curl_easy_cleanup(p); }
};
struct MultiDeleter {
  void operator()(CURLM* p) const { curl_multi_cleanup(p); }
};
struct SlistDeleter {
  void operator()(curl_slist* p) const { curl_slist_free_all(p); }
};

struct TransferState {
  FILE* pFile = nullptr;
  bool bWriteFailed = false;
  IProgressSink* pSink = nullptr;
  CURL* pCurl = nullptr;
  bool bBegun = false;
  std::uint64_t nReceived = 0;
  CurlAnswer* pAnswer = nullptr;
};

std::string HeaderValue(const std::string& strLine, const char* pName) {
  const std::size_t nLen = std::char_traits<char>::length(pName);
  if (strLine.size() <= nLen || strncasecmp(strLine.c_str(), pName, nLen) != 0) return std::string();
  const std::string strValue = strLine.substr(nLen);
  const auto first = strValue.find_first_not_of(" \t");
  const auto last = strValue.find_last_not_of(" \t\r\n");
  return first == std::string::npos ? std::string() : strValue.substr(first, last - first + 1);
}

size_t OnHeader(char* pData, size_t nSize, size_t nCount, void* pUser) {
  auto* pAnswer = static_cast<CurlAnswer*>(pUser);
  const std::string strLine(pData, nSize * nCount);
  if (strLine.rfind("HTTP/", 0) == 0) {
    pAnswer->strETag.clear();  // a new answer after a redirect
    pAnswer->strLastModified.clear();
  }
  if (auto v = HeaderValue(strLine, "ETag:"); !v.empty()) pAnswer->strETag = v;
  if (auto v = HeaderValue(strLine, "Last-Modified:"); !v.empty()) pAnswer->strLastModified = v;
  return nSize * nCount;
}

size_t OnBody(char* pData, size_t nSize, size_t nCount, void* pUser) {
  auto* pState = static_cast<TransferState*>(pUser);
  const size_t nBytes = nSize * nCount;
  long nStatus = 0;
  curl_easy_getinfo(pState->pCurl, CURLINFO_RESPONSE_CODE, &nStatus);
  if (nStatus >= 400) return nBytes;  // an error page is never the file
  if (std::fwrite(pData, 1, nBytes, pState->pFile) != nBytes) {
    pState->bWriteFailed = true;
    return 0;  // ends the transfer
  }
  pState->nReceived += nBytes;
  if (pState->pSink) {
    if (!pState->bBegun) pState->pSink->OnProgress(0, 0, kBindStatusBeginDownloadData);
    curl_off_t nLength = -1;
    curl_easy_getinfo(pState->pCurl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &nLength);
    ReportBytes(pState->pSink, pState->nReceived, nLength > 0 ? static_cast<std::uint64_t>(nLength) : 0);
  }
  pState->bBegun = true;
  return nBytes;
}

std::int32_t StatusForCurlError(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
      return kInetResourceNotFound;
    case CURLE_OPERATION_TIMEDOUT:
      return kInetTimeout;
    default:
      return kInetDownloadFailure;
  }
}

// Runs the transfer through the multi interface, asking the sink between polls
// of at most kStopPollInterval: the easy interface's progress callback comes
// only about once a second while nothing arrives, too seldom to stop at once.
// The easy handle's own limits apply as they would to curl_easy_perform.
// False when the sink asked to stop; code is the transfer's result otherwise.
bool PerformUnlessStopped(CURL* pCurl, IProgressSink* pSink, CURLcode& code) {
  code = CURLE_FAILED_INIT;
  std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
  if (!multi || curl_multi_add_handle(multi.get(), pCurl) != CURLM_OK) return true;
  bool bStopped = false;
  for (;;) {
    int nRunning = 0;
    if (curl_multi_perform(multi.get(), &nRunning) != CURLM_OK) break;
    if (nRunning == 0) {
      int nLeft = 0;
      while (const CURLMsg* pMessage = curl_multi_info_read(multi.get(), &nLeft)) {
        if (pMessage->msg == CURLMSG_DONE && pMessage->easy_handle == pCurl) code = pMessage->data.result;
      }
      break;
    }
    if (StopRequested(pSink)) {
      bStopped = true;
      break;
    }
    if (curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(kStopPollInterval.count()), nullptr) != CURLM_OK) {
      break;
    }
  }
  // A look-up still running is left to its thread (CURLOPT_QUICK_EXIT).
  curl_multi_remove_handle(multi.get(), pCurl);
  return !bStopped;
}

}  // namespace

std::int32_t CurlGetToFile(const std::string& strUrl, const std::string& strPath, IProgressSink* pSink,
                           const TransferLimits& limits, const std::vector<std::string>& requestHeaders,
                           CurlAnswer& answer) {
  EnsureCurlInitialised();
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) return kInetDownloadFailure;
  FILE* pFile = std::fopen(strPath.c_str(), "wb");
  if (!pFile) return kInetDownloadFailure;

  std::unique_ptr<curl_slist, SlistDeleter> headers;
  for (const auto& strHeader : requestHeaders) headers.reset(curl_slist_append(headers.release(), strHeader.c_str()));

  TransferState state;
  state.pFile = pFile;
  state.pSink = pSink;
  state.pCurl = curl.get();
  answer = CurlAnswer{};
  curl_easy_setopt(curl.get(), CURLOPT_URL, strUrl.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  // A look-up that outlives the limits or a stop is left to finish on its
  // own thread instead of being waited for.
  curl_easy_setopt(curl.get(), CURLOPT_QUICK_EXIT, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_MAXREDIRS, 10L);
  if (limits.connect.count() > 0) curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect.count()));
  if (limits.total.count() > 0) curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total.count()));
  if (limits.stall.count() > 0) {
    // Less than one byte a second for the whole stall time: the peer stopped.
    curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_TIME, static_cast<long>((limits.stall.count() + 999) / 1000));
  }
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &state);
  curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &answer);
  if (headers) curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers.get());

  if (pSink) pSink->OnProgress(0, 0, kBindStatusConnecting);
  CURLcode code = CURLE_OK;
  const bool bFinished = PerformUnlessStopped(curl.get(), pSink, code);
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &answer.nHttpStatus);
  const bool bClosed = std::fclose(pFile) == 0;

  if (!bFinished) return kTransferAborted;
  if (code != CURLE_OK) return state.bWriteFailed ? kInetDownloadFailure : StatusForCurlError(code);
  if (answer.nHttpStatus == 404) return kInetObjectNotFound;
  if ((answer.nHttpStatus < 200 || answer.nHttpStatus >= 300) && answer.nHttpStatus != 304) return kInetDownloadFailure;
  if (!bClosed) return kInetDownloadFailure;
  if (pSink) pSink->OnProgress(0, 0, kBindStatusEndDownloadData);
  return 0;
}

}  // namespace platform
