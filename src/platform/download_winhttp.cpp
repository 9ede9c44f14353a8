#include "platform/download_winhttp.h"

#include <windows.h>
#include <shlwapi.h>
#include <winhttp.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "core/utf16.h"
#include "platform/platform.h"

// Synchronous WinHTTP: one session per download, one request per hop. WinHTTP follows no
// redirect itself: each is one hop of FollowRedirects, which checks it (count, https to http)
// before it is made. The stall limit is the receive time-out of each wait for bytes,
// shortened to what is left of the total limit, which is also checked between reads.
//
// A stop must be heard while a blocking call waits (for the connection, the answer or bytes).
// Synchronous WinHTTP cannot wait in short steps: a request whose receive time-out passed is
// dead. So with a progress callback the download runs on a thread of its own, and the calling
// thread asks the callback every kProgressQuietMilliseconds. On a stop the call returns at
// once; the request handle that a call waits on is closed, which is how Windows ends a blocked
// synchronous call (Wine ends it only at its time-out), and the thread, left alone, ends then
// without touching the caller's sink again.

namespace quorvale {
namespace {

using Clock = std::chrono::steady_clock;

constexpr wchar_t kUserAgent[] = L"Quorvale/" QUORVALE_VERSION;
constexpr DWORD kReadChunk = 64 * 1024;
constexpr DWORD kHttpOk = 200;
constexpr DWORD kHttpNotModified = 304;
// WSAETIMEDOUT: Wine's WinHTTP gives the socket's code for a receive time-out.
constexpr DWORD kSocketTimedOut = 10060;

struct HandleCloser {
  void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// What the calling thread and the thread that downloads share. The calling thread asks the
// progress callback every kProgressQuietMilliseconds until the download ends; when it says
// stop, the call returns at once and the download is left to end on its own: its request
// handle is closed if a call waits on it, and the body sink is not called again.
class Handoff {
 public:
  Handoff() = default;
  Handoff(const Handoff&) = delete;
  Handoff& operator=(const Handoff&) = delete;

  // On the thread that downloads: `bytes` of the body have arrived; false once stopped.
  bool Heard(std::uint64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    bytes_ = bytes;
    return !stopped_;
  }
  // Hands bytes to the body sink unless the download was left.
  bool Sink(const DownloadBodySink& sink, std::string_view bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    return !stopped_ && sink(bytes);
  }
  // Before a blocking call on `request`: false (and no call to make) when stopped already.
  bool Enter(HINTERNET request) {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_on_ = request;
    return !stopped_;
  }
  // After it: false when the download was stopped meanwhile (`request` may then be closed).
  bool Leave() {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_on_ = nullptr;
    return !stopped_;
  }
  // Whether the calling thread closed `request` to end a call.
  bool Closed(HINTERNET request) {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_ == request;
  }
  void Finish(DownloadResult result) {
    std::lock_guard<std::mutex> lock(mutex_);
    result_ = std::move(result);
    done_ = true;
    wake_.notify_one();
  }

  // On the calling thread: the download's result, or why it was stopped.
  DownloadResult Wait(const DownloadProgress& progress) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (!done_) wake_.wait_for(lock, std::chrono::milliseconds(kProgressQuietMilliseconds));
      DownloadResult stop;
      try {
        if (progress(done_ ? result_.body_bytes : bytes_)) {
          if (done_) return std::move(result_);
          continue;
        }
        stop.failure = DownloadFailure::kCancelled;
      } catch (const std::bad_alloc&) {
        stop.failure = DownloadFailure::kNoMemory;
      }
      stopped_ = true;
      if (waiting_on_ != nullptr) {
        WinHttpCloseHandle(waiting_on_);
        closed_ = waiting_on_;
      }
      return stop;
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::uint64_t bytes_ = 0;
  HINTERNET waiting_on_ = nullptr;  // the request whose blocking call runs
  HINTERNET closed_ = nullptr;       // the one the calling thread closed
  bool stopped_ = false;
  bool done_ = false;
  DownloadResult result_;
};

struct Context {
  const DownloadRequest& request;
  Handoff* handoff;  // null when the download runs on the calling thread
  HINTERNET session;
  Clock::time_point deadline;
  std::wstring conditional_headers;  // "" when the request has no validators
};

// Shortens a wait of `limit` milliseconds on `request` (`option`: the connect or receive
// time-out) to what is left of the total. Returns what a time-out of that wait means:
// `limit_failure`, or kTooLong when the total is the nearer end (kTooLong with nothing left).
DownloadFailure LimitWait(const Context& context, HINTERNET request, DWORD option, int limit,
                          DownloadFailure limit_failure) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(context.deadline - Clock::now()).count();
  if (left <= 0) return DownloadFailure::kTooLong;
  DWORD wait = static_cast<DWORD>(std::min<long long>(left, limit));
  WinHttpSetOption(request, option, &wait, sizeof wait);
  return left < limit ? DownloadFailure::kTooLong : limit_failure;
}

// `timeout` is what ERROR_WINHTTP_TIMEOUT means where the call failed; `reading_body` tells a
// connection lost in the body (truncated) from one lost before the answer.
DownloadFailure FailureOfError(DWORD error, DownloadFailure timeout, bool reading_body) {
  switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return DownloadFailure::kResolve;
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return DownloadFailure::kConnect;
    case ERROR_WINHTTP_TIMEOUT:
    case kSocketTimedOut:
      return timeout;
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
      return DownloadFailure::kCertificate;
    case ERROR_WINHTTP_CONNECTION_ERROR:
      return reading_body ? DownloadFailure::kTruncated : DownloadFailure::kOther;
    default:
      return DownloadFailure::kOther;
  }
}

// A header of the answer; "" when it has none.
std::wstring Header(HINTERNET request, DWORD info) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                      WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return std::wstring();
  std::wstring text(size / sizeof(wchar_t), L'\0');
  if (!WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return std::wstring();
  }
  text.resize(size / sizeof(wchar_t));
  return text;
}

// `location` relative to `base`, as a browser reads it.
std::wstring ResolveLocation(const std::wstring& base, const std::wstring& location) {
  wchar_t none = L'\0';
  DWORD length = 1;  // asks for the length, terminator included
  if (UrlCombineW(base.c_str(), location.c_str(), &none, &length, 0) != E_POINTER) return location;
  std::wstring combined(length, L'\0');
  if (UrlCombineW(base.c_str(), location.c_str(), combined.data(), &length, 0) != S_OK) return location;
  combined.resize(length);
  return combined;
}

// What Blocking gives when the download was stopped during the call or before it.
constexpr DWORD kStopped = static_cast<DWORD>(-1);

// Makes a blocking call on `request` that a stop can end; gives ERROR_SUCCESS, the call's
// error, or kStopped. After kStopped, `request` may be closed: only its owner's release of it
// (WatchedRequest) may follow.
template <typename Call>
DWORD Blocking(const Context& context, HINTERNET request, Call call) {
  if (context.handoff == nullptr) return call() ? ERROR_SUCCESS : GetLastError();
  if (!context.handoff->Enter(request)) {
    context.handoff->Leave();
    return kStopped;
  }
  const DWORD error = call() ? ERROR_SUCCESS : GetLastError();
  return context.handoff->Leave() ? error : kStopped;
}

// A hop's request handle, closed when the hop ends unless the calling thread closed it to
// end a call.
class WatchedRequest {
 public:
  WatchedRequest(Handoff* handoff, HINTERNET request) : handoff_(handoff), request_(request) {}
  ~WatchedRequest() {
    if (request_ != nullptr && !(handoff_ != nullptr && handoff_->Closed(request_))) WinHttpCloseHandle(request_);
  }
  WatchedRequest(const WatchedRequest&) = delete;
  WatchedRequest& operator=(const WatchedRequest&) = delete;
  HINTERNET get() const { return request_; }

 private:
  Handoff* handoff_;
  HINTERNET request_;
};

// Reads the body of a 200 answer into `result`.
void ReadBody(const Context& context, HINTERNET request, DownloadResult* result) {
  const DownloadLimits& limits = context.request.limits;
  auto fail = [&](DownloadFailure failure, DWORD error) {
    result->failure = failure;
    if (error != ERROR_SUCCESS) result->detail = WindowsErrorText(error);
  };
  // The length sent is the body's own only when WinHTTP does not decompress it.
  std::uint64_t length = 0;
  const std::string length_text = Utf8FromWide(Header(request, WINHTTP_QUERY_CONTENT_LENGTH));
  const bool length_known = Header(request, WINHTTP_QUERY_CONTENT_ENCODING).empty() && !length_text.empty() &&
                            std::from_chars(length_text.data(), length_text.data() + length_text.size(), length).ec ==
                                std::errc();
  if (length_known && length > limits.max_bytes) return fail(DownloadFailure::kTooBig, ERROR_SUCCESS);

  std::string body;  // when no sink takes the bytes
  std::uint64_t body_bytes = 0;
  const DownloadBodySink& sink = context.request.body_sink;
  std::string chunk(kReadChunk, '\0');
  for (;;) {
    const DownloadFailure timeout = LimitWait(context, request, WINHTTP_OPTION_RECEIVE_TIMEOUT,
                                              limits.stall_milliseconds, DownloadFailure::kStalled);
    if (Clock::now() >= context.deadline) return fail(DownloadFailure::kTooLong, ERROR_SUCCESS);
    DWORD available = 0;
    DWORD got = 0;
    const DWORD error = Blocking(context, request, [&] {
      return WinHttpQueryDataAvailable(request, &available) &&
             (available == 0 || WinHttpReadData(request, chunk.data(), std::min(available, kReadChunk), &got));
    });
    if (error == kStopped) return fail(DownloadFailure::kCancelled, ERROR_SUCCESS);
    if (error != ERROR_SUCCESS) return fail(FailureOfError(error, timeout, true), error);
    if (got == 0) break;
    if (got > limits.max_bytes - body_bytes) return fail(DownloadFailure::kTooBig, ERROR_SUCCESS);
    if (!sink) {
      body.append(chunk.data(), got);
    } else if (!sink(std::string_view(chunk.data(), got))) {
      return fail(DownloadFailure::kNotStored, ERROR_SUCCESS);
    }
    body_bytes += got;
    if (context.handoff != nullptr && !context.handoff->Heard(body_bytes)) {
      return fail(DownloadFailure::kCancelled, ERROR_SUCCESS);
    }
  }
  if (length_known && body_bytes != length) return fail(DownloadFailure::kTruncated, ERROR_SUCCESS);
  result->outcome = DownloadResult::Outcome::kDownloaded;
  result->content_type = MediaTypeOf(Utf8FromWide(Header(request, WINHTTP_QUERY_CONTENT_TYPE)));
  result->body = std::move(body);
  result->body_bytes = body_bytes;
}

// Makes one request to `url`, as a DownloadHop does.
bool RunHop(const Context& context, const std::wstring& url, DownloadResult* result, std::string* location) {
  auto fail = [&](DownloadFailure failure, DWORD error) {
    result->failure = failure;
    if (error != ERROR_SUCCESS) result->detail = WindowsErrorText(error);
    return true;
  };
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return fail(DownloadFailure::kOther, GetLastError());
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring target(parts.lpszUrlPath, parts.dwUrlPathLength + parts.dwExtraInfoLength);
  target = target.substr(0, target.find(L'#'));
  if (target.empty()) target = L"/";

  Handle connection(WinHttpConnect(context.session, host.c_str(), parts.nPort, 0));
  const WatchedRequest request(context.handoff,
                               connection ? WinHttpOpenRequest(connection.get(), L"GET", target.c_str(), nullptr,
                                                               WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                               parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE
                                                                                                      : 0)
                                         : nullptr);
  if (request.get() == nullptr) return fail(DownloadFailure::kOther, GetLastError());
  DWORD redirects = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &redirects, sizeof redirects);
  if (!context.conditional_headers.empty()) {
    WinHttpAddRequestHeaders(request.get(), context.conditional_headers.c_str(), static_cast<DWORD>(-1),
                             WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
  }

  const DownloadLimits& limits = context.request.limits;
  DownloadFailure timeout = LimitWait(context, request.get(), WINHTTP_OPTION_CONNECT_TIMEOUT,
                                      limits.connect_milliseconds, DownloadFailure::kConnectTimeout);
  if (Clock::now() >= context.deadline) return fail(DownloadFailure::kTooLong, ERROR_SUCCESS);
  DWORD error = Blocking(context, request.get(), [&] {
    return WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
  });
  if (error == ERROR_SUCCESS) {
    timeout = LimitWait(context, request.get(), WINHTTP_OPTION_RECEIVE_TIMEOUT, limits.stall_milliseconds,
                        DownloadFailure::kStalled);
    error = Blocking(context, request.get(), [&] { return WinHttpReceiveResponse(request.get(), nullptr); });
  }
  if (error == kStopped) return fail(DownloadFailure::kCancelled, ERROR_SUCCESS);
  if (error != ERROR_SUCCESS) return fail(FailureOfError(error, timeout, false), error);

  DWORD status = 0;
  DWORD size = sizeof status;
  WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                      WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  result->http_status = static_cast<int>(status);
  if (IsRedirectStatus(result->http_status)) {
    const std::wstring named = Header(request.get(), WINHTTP_QUERY_LOCATION);
    if (!named.empty()) {
      *location = Utf8FromWide(ResolveLocation(url, named));
      return false;
    }
  }
  if (status != kHttpOk && status != kHttpNotModified) {
    result->failure = DownloadFailure::kHttpStatus;
    return true;
  }
  if (status == kHttpNotModified) {
    result->outcome = DownloadResult::Outcome::kNotModified;
    return true;
  }
  result->etag = Utf8FromWide(Header(request.get(), WINHTTP_QUERY_ETAG));
  result->last_modified = Utf8FromWide(Header(request.get(), WINHTTP_QUERY_LAST_MODIFIED));
  ReadBody(context, request.get(), result);
  return true;
}

// A validator goes back to the server as it came, unless it would break the request's lines.
void AddConditionalHeader(std::wstring* headers, const wchar_t* name, const std::string& value) {
  if (value.empty() || value.find_first_of("\r\n") != std::string::npos) return;
  *headers += name + WideFromUtf8(value) + L"\r\n";
}

DownloadResult RunDownload(const DownloadRequest& request, Handoff* handoff) {
  DownloadResult result;
  // The system's proxy settings; the automatic kind is newer than Windows 8 and Wine 8.
  Handle session(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) {
    session.reset(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, 0));
  }
  if (!session) {
    result.failure = DownloadFailure::kOther;
    result.detail = WindowsErrorText(GetLastError());
    return result;
  }
  // WinHTTP asks for gzip and deflate and decompresses them; where it cannot, it asks for
  // neither, and the body comes as it is.
  DWORD decompression = WINHTTP_DECOMPRESSION_FLAG_ALL;
  WinHttpSetOption(session.get(), WINHTTP_OPTION_DECOMPRESSION, &decompression, sizeof decompression);
  const int connect = request.limits.connect_milliseconds;
  const int stall = request.limits.stall_milliseconds;
  WinHttpSetTimeouts(session.get(), connect, connect, stall, stall);

  Context context{request, handoff, session.get(),
                  Clock::now() + std::chrono::milliseconds(request.limits.total_milliseconds), std::wstring()};
  AddConditionalHeader(&context.conditional_headers, L"If-None-Match: ", request.etag);
  AddConditionalHeader(&context.conditional_headers, L"If-Modified-Since: ", request.last_modified);
  return FollowRedirects(request, [&](const std::string& url, DownloadResult* hop, std::string* location) {
    return RunHop(context, WideFromUtf8(url), hop, location);
  });
}

DownloadResult OutOfMemory() {
  DownloadResult result;
  result.failure = DownloadFailure::kNoMemory;
  return result;
}

}  // namespace

DownloadResult DownloadWithWinHttp(const DownloadRequest& request, const DownloadProgress& progress) {
  // The body's buffer or sink may fail to allocate: that download fails, no other.
  try {
    if (!progress) return RunDownload(request, nullptr);
    auto handoff = std::make_shared<Handoff>();
    DownloadRequest own = request;  // the thread may outlive this call
    if (request.body_sink) {
      own.body_sink = [shared = handoff.get(), sink = request.body_sink](std::string_view bytes) {
        return shared->Sink(sink, bytes);
      };
    }
    std::thread([handoff, own = std::move(own)] {
      DownloadResult result;
      try {
        result = RunDownload(own, handoff.get());
      } catch (const std::bad_alloc&) {
        result = OutOfMemory();
      } catch (...) {
        result.failure = DownloadFailure::kOther;
      }
      handoff->Finish(std::move(result));
    }).detach();
    return handoff->Wait(progress);
  } catch (const std::bad_alloc&) {
    return OutOfMemory();
  }
}

}  // namespace quorvale
