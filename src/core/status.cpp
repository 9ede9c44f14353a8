#include "status.h"

#include <cerrno>
#include <cstring>

namespace quorvale {

Status StatusFromErrno(int err, const std::string& what) {
  ErrorCode code = ErrorCode::kIoError;
  switch (err) {
    case 0:
      return Status::Ok();
    case ENOENT:
    case ENOTDIR:
      code = ErrorCode::kNotFound;
      break;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      code = ErrorCode::kAccessDenied;
      break;
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT
    case EDQUOT:
#endif
      code = ErrorCode::kNoSpace;
      break;
    default:
      break;
  }
  std::string detail = what.empty() ? std::string() : what + ": ";
  detail += std::strerror(err);
  return Status(code, std::move(detail));
}

}  // namespace quorvale
