#include "download.h"

#include <utility>

#include "core/text.h"

namespace quorvale {

std::string MediaTypeOf(std::string_view content_type) {
  content_type = content_type.substr(0, content_type.find(';'));
  constexpr std::string_view kBlanks = " \t";
  const size_t first = content_type.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return std::string();
  content_type = content_type.substr(first, content_type.find_last_not_of(kBlanks) + 1 - first);
  std::string media_type(content_type);
  AsciiLowerInPlace(media_type);
  return media_type;
}

bool IsRedirectStatus(int http_status) {
  constexpr int kNotModified = 304;
  return http_status / 100 == 3 && http_status != kNotModified;
}

DownloadResult FollowRedirects(const DownloadRequest& request, const DownloadHop& hop) {
  constexpr std::string_view kHttps = "https:";
  auto is_https = [&](std::string_view url) { return EqualsIgnoreAsciiCase(url.substr(0, kHttps.size()), kHttps); };
  std::string url = request.url;
  for (int redirects = 0;; ++redirects) {
    DownloadResult result;
    std::string location;
    if (hop(url, &result, &location)) return result;
    if (redirects >= request.limits.max_redirects) result.failure = DownloadFailure::kTooManyRedirects;
    if (is_https(url) && !is_https(location)) result.failure = DownloadFailure::kInsecureRedirect;
    if (result.failure != DownloadFailure::kNone) return result;
    url = std::move(location);
  }
}

}  // namespace quorvale
