#include "platform/download_curl.h"

namespace quorvale {

DownloadResult DownloadWithCurl(const DownloadRequest&, const DownloadProgress&) {
  DownloadResult result;
  result.failure = DownloadFailure::kOther;
  result.detail = "not built yet";
  return result;
}

}  // namespace quorvale
