#include "platform/download_curl.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

// One download is one easy handle, driven by a multi handle of its own so that the progress
// callback, where the stall and total limits are measured, runs at least every
// kPollMilliseconds even while nothing arrives. libcurl follows no redirect itself: each is
// one hop of FollowRedirects, which checks it (count, https to http) before it is made. No C++
// exception leaves a callback, since libcurl's frames are C: a failed allocation in one (the
// body sink's included) ends that download only, as kNoMemory.

namespace quorvale {
namespace {

using Clock = std::chrono::steady_clock;

constexpr long kPollMilliseconds = 20;
// libcurl's own time-out of a hop comes this long after the total limit, which the progress
// callback enforces first; it only ends a hop whose callback was not called in time.
constexpr long kBackstopMilliseconds = 1'000;
constexpr char kAllowedProtocols[] = "http,https";
constexpr char kAcceptedEncodings[] = "gzip, deflate";
constexpr char kUserAgent[] = "Quorvale/" QUORVALE_VERSION;
constexpr long kHttpOk = 200;
constexpr long kHttpNotModified = 304;

// libcurl is opened on the first download instead of being linked: a program that downloads
// nothing (most runs of quorvale-cli) then starts without loading it and the thirty-odd
// libraries it brings (TLS, Kerberos, LDAP...), which doubled the start-up's time.
constexpr char kLibCurl[] = "libcurl.so.4";

// The libcurl functions used here, from the opened library.
struct LibCurl {
  decltype(&curl_global_init) global_init = nullptr;
  decltype(&curl_easy_init) easy_init = nullptr;
  decltype(&curl_easy_cleanup) easy_cleanup = nullptr;
  decltype(&curl_easy_setopt) easy_setopt = nullptr;
  decltype(&curl_easy_getinfo) easy_getinfo = nullptr;
  decltype(&curl_easy_header) easy_header = nullptr;
  decltype(&curl_easy_strerror) easy_strerror = nullptr;
  decltype(&curl_multi_init) multi_init = nullptr;
  decltype(&curl_multi_cleanup) multi_cleanup = nullptr;
  decltype(&curl_multi_add_handle) multi_add_handle = nullptr;
  decltype(&curl_multi_remove_handle) multi_remove_handle = nullptr;
  decltype(&curl_multi_perform) multi_perform = nullptr;
  decltype(&curl_multi_poll) multi_poll = nullptr;
  decltype(&curl_multi_info_read) multi_info_read = nullptr;
  decltype(&curl_slist_append) slist_append = nullptr;
  decltype(&curl_slist_free_all) slist_free_all = nullptr;
};

// Opens libcurl once (it stays open) and initialises it; nullptr, with the system's reason in
// `why`, when it or one of its functions cannot be found.
const LibCurl* OpenLibCurl(std::string* why) {
  static std::string failure;
  static const LibCurl* const opened = []() -> const LibCurl* {
    void* library = dlopen(kLibCurl, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      failure = dlerror();
      return nullptr;
    }
    static LibCurl curl;
    bool found = true;
    auto take = [&](auto& function, const char* name) {
      function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
      if (function == nullptr && found) failure = dlerror();
      found = found && function != nullptr;
    };
    take(curl.global_init, "curl_global_init");
    take(curl.easy_init, "curl_easy_init");
    take(curl.easy_cleanup, "curl_easy_cleanup");
    take(curl.easy_setopt, "curl_easy_setopt");
    take(curl.easy_getinfo, "curl_easy_getinfo");
    take(curl.easy_header, "curl_easy_header");
    take(curl.easy_strerror, "curl_easy_strerror");
    take(curl.multi_init, "curl_multi_init");
    take(curl.multi_cleanup, "curl_multi_cleanup");
    take(curl.multi_add_handle, "curl_multi_add_handle");
    take(curl.multi_remove_handle, "curl_multi_remove_handle");
    take(curl.multi_perform, "curl_multi_perform");
    take(curl.multi_poll, "curl_multi_poll");
    take(curl.multi_info_read, "curl_multi_info_read");
    take(curl.slist_append, "curl_slist_append");
    take(curl.slist_free_all, "curl_slist_free_all");
    if (!found) return nullptr;
    curl.global_init(CURL_GLOBAL_DEFAULT);
    return &curl;
  }();
  if (opened == nullptr) *why = failure;
  return opened;
}

// The opened library; only called once OpenLibCurl succeeded.
const LibCurl& Curl() {
  std::string unused;
  return *OpenLibCurl(&unused);
}

struct EasyDeleter {
  void operator()(CURL* easy) const { Curl().easy_cleanup(easy); }
};
struct MultiDeleter {
  void operator()(CURLM* multi) const { Curl().multi_cleanup(multi); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { Curl().slist_free_all(list); }
};

// What one call shares with libcurl's callbacks.
struct Transfer {
  CURL* easy = nullptr;
  const DownloadRequest* request = nullptr;
  const DownloadProgress* progress = nullptr;
  Clock::time_point deadline;
  Clock::time_point last_byte;    // of the current hop
  Clock::time_point last_asked;   // when the progress callback was last called
  curl_off_t wire_bytes = 0;      // of the current hop, as received (before decompression)
  std::string body;               // of the 200 answer, decompressed, when no sink takes it
  std::uint64_t body_bytes = 0;   // of the 200 answer, decompressed
  std::optional<DownloadFailure> stopped;  // why a callback ended the transfer
  const char* stopped_detail = "";

  // Keeps why a callback ends the transfer; returns the progress callback's value for "stop".
  int Stop(DownloadFailure reason, const char* detail = "") {
    stopped = reason;
    stopped_detail = detail;
    return 1;
  }
  // Asks the progress callback whether to go on; false once it said stop.
  bool GoOn() {
    last_asked = Clock::now();
    if (!*progress || (*progress)(body_bytes)) return true;
    Stop(DownloadFailure::kCancelled);
    return false;
  }
};

// Runs a callback's work; a failed allocation, or any other exception, stops the transfer
// there instead of unwinding through libcurl. Returns `stopped_value` when it does.
template <typename Work>
auto Guarded(Transfer* transfer, decltype(std::declval<Work>()()) stopped_value, Work work) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    transfer->Stop(DownloadFailure::kNoMemory);
  } catch (...) {
    transfer->Stop(DownloadFailure::kOther);
  }
  return stopped_value;
}

long ResponseCode(CURL* easy) {
  long code = 0;
  Curl().easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
  return code;
}

size_t KeepBody(Transfer* transfer, char* data, size_t length) {
  // Only the 200 answer's body is kept; a redirect's or an error page's ends the hop here.
  if (ResponseCode(transfer->easy) != kHttpOk) return 0;
  if (length > transfer->request->limits.max_bytes - transfer->body_bytes) {
    transfer->Stop(DownloadFailure::kTooBig);
    return 0;
  }
  const DownloadBodySink& sink = transfer->request->body_sink;
  if (sink) {
    if (!sink(std::string_view(data, length))) {
      transfer->Stop(DownloadFailure::kNotStored);
      return 0;
    }
  } else {
    transfer->body.append(data, length);
  }
  transfer->body_bytes += length;
  return transfer->GoOn() ? length : 0;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  return Guarded(transfer, size_t{0}, [&] { return KeepBody(transfer, data, size * count); });
}

int CheckLimits(Transfer* transfer, curl_off_t received) {
  const Clock::time_point now = Clock::now();
  if (received != transfer->wire_bytes) {
    transfer->wire_bytes = received;
    transfer->last_byte = now;
  }
  if (now >= transfer->deadline) return transfer->Stop(DownloadFailure::kTooLong);
  if (now - transfer->last_byte >= std::chrono::milliseconds(transfer->request->limits.stall_milliseconds)) {
    return transfer->Stop(DownloadFailure::kStalled);
  }
  // Called while nothing arrives too: a stop asked meanwhile is heard here.
  if (now - transfer->last_asked >= std::chrono::milliseconds(kProgressQuietMilliseconds) && !transfer->GoOn()) {
    return 1;
  }
  return 0;
}

int OnProgress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(user);
  return Guarded(transfer, 1, [&] { return CheckLimits(transfer, received); });
}

// The value of a header of the hop's last answer; "" when it has none.
std::string Header(CURL* easy, const char* name) {
  curl_header* header = nullptr;
  if (Curl().easy_header(easy, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK) return std::string();
  return header->value;
}

// A validator goes back to the server as it came, unless it would break the request's lines.
void AddConditionalHeader(curl_slist** list, const char* name, const std::string& value) {
  if (value.empty() || value.find_first_of("\r\n") != std::string::npos) return;
  *list = Curl().slist_append(*list, (std::string(name) + ": " + value).c_str());
}

DownloadFailure FailureOfCurl(CURLcode code, const Transfer& transfer) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
      return DownloadFailure::kResolve;
    case CURLE_COULDNT_CONNECT:
      return DownloadFailure::kConnect;
    case CURLE_OPERATION_TIMEDOUT:
      // The stall and total limits are the progress callback's; a time-out of libcurl's own
      // is the connect limit, or the backstop of the total.
      return Clock::now() >= transfer.deadline ? DownloadFailure::kTooLong : DownloadFailure::kConnectTimeout;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
      return DownloadFailure::kCertificate;
    case CURLE_PARTIAL_FILE:
      return DownloadFailure::kTruncated;
    case CURLE_BAD_CONTENT_ENCODING:
      return DownloadFailure::kBadEncoding;
    case CURLE_FILESIZE_EXCEEDED:
      return DownloadFailure::kTooBig;
    default:
      return DownloadFailure::kOther;
  }
}

// Sets the options of one hop; the result of the one that keeps the hop to http and https
// (a libcurl older than 7.85 refuses it).
CURLcode SetHopOptions(Transfer& transfer, const std::string& url, curl_slist* headers, char* error_text) {
  CURL* easy = transfer.easy;
  const DownloadRequest& request = *transfer.request;
  const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(transfer.deadline - Clock::now());
  Curl().easy_setopt(easy, CURLOPT_URL, url.c_str());
  Curl().easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  Curl().easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, kAllowedProtocols);
  Curl().easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  Curl().easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, kAcceptedEncodings);
  Curl().easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
  Curl().easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  Curl().easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  Curl().easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!request.ca_file.empty()) {
    Curl().easy_setopt(easy, CURLOPT_CAINFO, request.ca_file.c_str());
    Curl().easy_setopt(easy, CURLOPT_CAPATH, nullptr);
  }
  Curl().easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.limits.connect_milliseconds));
  Curl().easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(remaining.count()) + kBackstopMilliseconds);
  Curl().easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.limits.max_bytes));
  Curl().easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
  Curl().easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
  Curl().easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  Curl().easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, OnProgress);
  Curl().easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
  Curl().easy_setopt(easy, CURLOPT_ERRORBUFFER, error_text);
  return Curl().easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
}

// Makes one request and waits for its end; returns libcurl's result of it.
CURLcode RunHop(CURLM* multi, CURL* easy) {
  if (Curl().multi_add_handle(multi, easy) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
  int running = 1;
  while (running > 0) {
    if (Curl().multi_perform(multi, &running) != CURLM_OK) break;
    if (running > 0 && Curl().multi_poll(multi, nullptr, 0, kPollMilliseconds, nullptr) != CURLM_OK) break;
  }
  CURLcode result = CURLE_FAILED_INIT;
  int left = 0;
  while (CURLMsg* message = Curl().multi_info_read(multi, &left)) {
    if (message->msg == CURLMSG_DONE && message->easy_handle == easy) result = message->data.result;
  }
  Curl().multi_remove_handle(multi, easy);
  return result;
}

DownloadResult OtherFailure(CURLcode code) {
  DownloadResult result;
  result.failure = DownloadFailure::kOther;
  result.detail = Curl().easy_strerror(code);
  return result;
}

DownloadResult RunDownload(const DownloadRequest& request, const DownloadProgress& progress) {
  std::string why;
  if (OpenLibCurl(&why) == nullptr) {
    DownloadResult result;
    result.failure = DownloadFailure::kOther;
    result.detail = why;
    return result;
  }

  char error_text[CURL_ERROR_SIZE] = {};  // outlives the handle that writes into it
  std::unique_ptr<CURL, EasyDeleter> easy(Curl().easy_init());
  std::unique_ptr<CURLM, MultiDeleter> multi(Curl().multi_init());
  if (!easy || !multi) return OtherFailure(CURLE_FAILED_INIT);
  curl_slist* header_list = nullptr;
  AddConditionalHeader(&header_list, "If-None-Match", request.etag);
  AddConditionalHeader(&header_list, "If-Modified-Since", request.last_modified);
  std::unique_ptr<curl_slist, ListDeleter> headers(header_list);

  Transfer transfer;
  transfer.easy = easy.get();
  transfer.request = &request;
  transfer.progress = &progress;
  transfer.deadline = Clock::now() + std::chrono::milliseconds(request.limits.total_milliseconds);
  transfer.last_asked = Clock::now();
  return FollowRedirects(request, [&](const std::string& url, DownloadResult* result, std::string* location) {
    const CURLcode refused = SetHopOptions(transfer, url, headers.get(), error_text);
    if (refused != CURLE_OK) {
      *result = OtherFailure(refused);
      return true;
    }
    transfer.last_byte = Clock::now();
    transfer.wire_bytes = 0;
    const CURLcode code = RunHop(multi.get(), easy.get());

    result->http_status = static_cast<int>(ResponseCode(easy.get()));
    if (transfer.stopped) {
      result->failure = *transfer.stopped;
      result->detail = transfer.stopped_detail;
      return true;
    }
    const char* redirect_url = nullptr;
    Curl().easy_getinfo(easy.get(), CURLINFO_REDIRECT_URL, &redirect_url);
    if (IsRedirectStatus(result->http_status) && redirect_url != nullptr) {
      *location = redirect_url;
      return false;
    }
    if (result->http_status != 0 && result->http_status != kHttpOk && result->http_status != kHttpNotModified) {
      result->failure = DownloadFailure::kHttpStatus;
      return true;
    }
    if (code != CURLE_OK) {
      result->failure = FailureOfCurl(code, transfer);
      result->detail = error_text[0] != '\0' ? error_text : Curl().easy_strerror(code);
      return true;
    }
    if (result->http_status == kHttpNotModified) {
      result->outcome = DownloadResult::Outcome::kNotModified;
      return true;
    }
    result->outcome = DownloadResult::Outcome::kDownloaded;
    result->body = std::move(transfer.body);
    result->body_bytes = transfer.body_bytes;
    result->etag = Header(easy.get(), "ETag");
    result->last_modified = Header(easy.get(), "Last-Modified");
    result->content_type = MediaTypeOf(Header(easy.get(), "Content-Type"));
    return true;
  });
}

}  // namespace

DownloadResult DownloadWithCurl(const DownloadRequest& request, const DownloadProgress& progress) {
  try {
    return RunDownload(request, progress);
  } catch (const std::bad_alloc&) {
    DownloadResult result;
    result.failure = DownloadFailure::kNoMemory;
    return result;
  }
}

}  // namespace quorvale
