#include "status.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>


namespace quorvale {

std::string Status::ToString() const {
  if (subject_.empty()) return reason_;
  if (reason_.empty()) return subject_;
  return subject_ + ": " + reason_;
}

Status StatusFromErrno(int err, const std::string& subject) {
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
    case ENOMEM:
      code = ErrorCode::kNoMemory;
      break;
    case EEXIST:
      code = ErrorCode::kExists;
      break;
    default:
      break;
  }
  return Status(code, subject, std::strerror(err));
}

}  // namespace quorvale
