#pragma once

#include "core/download.h"

namespace quorvale {

// Platform::Download on POSIX systems, through libcurl.
DownloadResult DownloadWithCurl(const DownloadRequest& request, const DownloadProgress& progress);

}  // namespace quorvale
