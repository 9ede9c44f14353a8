#pragma once

#include "core/download.h"

namespace quorvale {

// Platform::Download on Windows, through WinHTTP. The request's ca_file is not used: the
// certificates are checked against the Windows certificate store.
DownloadResult DownloadWithWinHttp(const DownloadRequest& request, const DownloadProgress& progress);

}  // namespace quorvale
