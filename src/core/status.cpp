#include "status.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>

#include "utf16.h"
#endif

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

void ClearRuntimeError() {
  errno = 0;
#ifdef _WIN32
  _doserrno = 0;
#endif
}

Status StatusFromRuntimeError(int fallback, const std::string& subject) {
  const Status status = StatusFromErrno(errno != 0 ? errno : fallback, subject);
#ifdef _WIN32
  // The runtime keeps the system's error code beside the errno it made of it.
  if (_doserrno != 0) return Status(status.code(), subject, WindowsErrorText(_doserrno));
#endif
  return status;
}

#ifdef _WIN32
std::string WindowsErrorText(unsigned long code) {
  wchar_t* message = nullptr;
  DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
  std::string text =
      length > 0 && message != nullptr ? Utf8FromWide(std::wstring_view(message, length)) : std::string();
  if (message != nullptr) LocalFree(message);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  if (text.empty()) text = "error " + std::to_string(code);
  return text;
}
#endif

}  // namespace quorvale
