#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// What a download of one source asks of the platform (Platform::Download) and what it gives
// back. The platform does the HTTP and TLS work with the system's own stack; nothing here
// knows about sockets.

namespace quorvale {

// The bounds of one download. The programs always use the defaults; tests pass small ones.
struct DownloadLimits {
  int connect_milliseconds = 10'000;   // to open the connection (TLS handshake included)
  int stall_milliseconds = 30'000;     // with no byte received
  int total_milliseconds = 120'000;    // for the whole source, redirects included
  int max_redirects = 5;               // more are refused; https to http always is
  std::uint64_t max_bytes = std::uint64_t{256} << 20;  // of the body after decompression
};

// Takes the bytes of the body (decompressed) as they arrive, on the thread that downloads;
// returning false stops the download (kNotStored).
using DownloadBodySink = std::function<bool(std::string_view bytes)>;

struct DownloadRequest {
  std::string url;            // http:// or https://
  std::string etag;           // sent as If-None-Match when not empty
  std::string last_modified;  // sent as If-Modified-Since when not empty
  DownloadLimits limits;
  // A PEM file of certificate authorities trusted instead of the system's. Only tests set
  // it (for the CA they make); the programs never do, and offer no way to.
  std::string ca_file;
  // When set, the body goes here as it arrives instead of into DownloadResult::body, so that
  // no body is ever held whole in memory.
  DownloadBodySink body_sink;
};

enum class DownloadFailure {
  kNone,
  kResolve,           // the host name has no address
  kConnect,           // the connection was refused or failed
  kConnectTimeout,    // no connection within connect_milliseconds
  kStalled,           // no byte for stall_milliseconds
  kTooLong,           // the whole download passed total_milliseconds
  kTooManyRedirects,  // more than max_redirects
  kInsecureRedirect,  // a redirect from https to http
  kTooBig,            // the body passed max_bytes
  kCertificate,       // the server's certificate did not verify (name, issuer, dates)
  kHttpStatus,        // an answer other than 200 or 304 (http_status)
  kTruncated,         // the connection ended before the body was whole
  kBadEncoding,       // a compressed body that does not decompress
  kCancelled,         // the progress callback asked to stop
  kNoMemory,          // memory ran out (a body callback or a sink could not allocate)
  kNotStored,         // the body sink refused bytes (detail: why, when it said)
  kOther,             // anything else (detail)
};

struct DownloadResult {
  enum class Outcome { kDownloaded, kNotModified, kFailed };
  Outcome outcome = Outcome::kFailed;
  std::string body;           // kDownloaded without a body sink: the body, decompressed
  std::uint64_t body_bytes = 0;  // kDownloaded: the body's size (decompressed)
  std::string etag;           // kDownloaded: the answer's validators ("" when none)
  std::string last_modified;
  std::string content_type;   // kDownloaded: the answer's Content-Type ("" when none)
  int http_status = 0;        // the last answer's status (0 when there was none)
  DownloadFailure failure = DownloadFailure::kNone;
  std::string detail;         // kFailed: the system's own text, when it gave one
};

// Hears the bytes of the body received so far (decompressed); returning false stops the
// download (kCancelled). Called as bytes arrive and, while none do, again at least every
// kProgressQuietMilliseconds (with the same count), so that a stop is heard at once even from
// a server that sends nothing. Never two calls at once; a back end whose waits block may make
// the quiet calls from a watcher thread of its own while the downloading thread waits.
using DownloadProgress = std::function<bool(std::uint64_t bytes)>;
inline constexpr int kProgressQuietMilliseconds = 100;

// Whether an answer with this status is a redirect (3xx other than 304), followed when it
// names a Location.
bool IsRedirectStatus(int http_status);

// Makes one request to `url`: fills `*result` and returns true, or, for a redirect, sets
// result->http_status and `*location` (the Location, resolved against `url`) and returns false.
using DownloadHop = std::function<bool(const std::string& url, DownloadResult* result, std::string* location)>;

// The redirects of a download, as every back end follows them: `hop` makes each request, the
// first to request.url. A download follows at most request.limits.max_redirects redirects
// (one more fails with kTooManyRedirects) and none from https to another scheme
// (kInsecureRedirect); such a failure keeps the redirect's status.
DownloadResult FollowRedirects(const DownloadRequest& request, const DownloadHop& hop);

// The media type of a Content-Type value, in lower case, without its parameters or blanks:
// "text/html" for "Text/HTML; charset=UTF-8".
std::string MediaTypeOf(std::string_view content_type);

}  // namespace quorvale
