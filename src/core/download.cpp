#include "download.h"

#include <utility>

#include "core/text.h"

namespace quorvale {

namespace {

constexpr int kMillisecondsPerSecond = 1000;
constexpr int kMebibyteShift = 20;
constexpr std::uint64_t kMebibyteMask = (std::uint64_t{1} << kMebibyteShift) - 1;

// "30 s", or "1500 ms" when the time is no whole number of seconds.
std::string DurationText(int milliseconds) {
  if (milliseconds % kMillisecondsPerSecond == 0) return std::to_string(milliseconds / kMillisecondsPerSecond) + " s";
  return std::to_string(milliseconds) + " ms";
}

std::string SizeText(std::uint64_t bytes) {
  if ((bytes & kMebibyteMask) == 0) return std::to_string(bytes >> kMebibyteShift) + " Mo";
  return std::to_string(bytes) + " octets";
}

}  // namespace

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

std::string DownloadFailureText(const DownloadResult& result, const DownloadLimits& limits) {
  switch (result.failure) {
    case DownloadFailure::kResolve:
      return "nom d'hote introuvable";
    case DownloadFailure::kConnect:
      return "connexion impossible";
    case DownloadFailure::kConnectTimeout:
      return "pas de connexion apres " + DurationText(limits.connect_milliseconds);
    case DownloadFailure::kStalled:
      return "aucun octet recu pendant " + DurationText(limits.stall_milliseconds);
    case DownloadFailure::kTooLong:
      return "telechargement trop long (plus de " + DurationText(limits.total_milliseconds) + ")";
    case DownloadFailure::kTooManyRedirects:
      return "trop de redirections (plus de " + std::to_string(limits.max_redirects) + ")";
    case DownloadFailure::kInsecureRedirect:
      return "redirection de https vers http refusee";
    case DownloadFailure::kTooBig:
      return "fichier trop gros (plus de " + SizeText(limits.max_bytes) + ")";
    case DownloadFailure::kCertificate:
      return result.detail.empty() ? "certificat refuse" : "certificat refuse: " + result.detail;
    case DownloadFailure::kHttpStatus:
      return "reponse HTTP " + std::to_string(result.http_status);
    case DownloadFailure::kTruncated:
      return "reponse incomplete (connexion coupee)";
    case DownloadFailure::kBadEncoding:
      return "contenu compresse illisible";
    case DownloadFailure::kCancelled:
      return "annule";
    case DownloadFailure::kNotStored:
      return result.detail.empty() ? "copie impossible a enregistrer" : "copie impossible a enregistrer: " + result.detail;
    case DownloadFailure::kNone:
    case DownloadFailure::kOther:
      break;
  }
  return result.detail.empty() ? "erreur inconnue" : result.detail;
}

}  // namespace quorvale
