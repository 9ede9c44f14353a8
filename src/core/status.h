#pragma once

#include <string>
#include <utility>

namespace quorvale {

// What went wrong, in terms the callers act on. The OS detail (errno text, Win32 message)
// travels in Status::detail for messages and logs.
enum class ErrorCode {
  kOk = 0,
  kNotFound,       // the file or folder does not exist
  kAccessDenied,   // permissions, read-only file or folder, locked file
  kNoSpace,        // disk full or file-size limit reached
  kEmpty,          // the file holds nothing to read
  kIoError,        // any other read or write failure
  kNotSupported,   // the platform has no such facility
};

class Status {
 public:
  Status() = default;
  Status(ErrorCode code, std::string detail) : code_(code), detail_(std::move(detail)) {}

  static Status Ok() { return Status(); }

  bool ok() const { return code_ == ErrorCode::kOk; }
  ErrorCode code() const { return code_; }
  const std::string& detail() const { return detail_; }

 private:
  ErrorCode code_ = ErrorCode::kOk;
  std::string detail_;
};

// Turns an errno value into a Status; `what` names the file or the operation.
Status StatusFromErrno(int err, const std::string& what);

}  // namespace quorvale
