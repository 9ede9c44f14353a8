#pragma once

#include <string>
#include <utility>

namespace quorvale {

// What went wrong, in terms the callers act on.
enum class ErrorCode {
  kOk = 0,
  kNotFound,       // the file or folder does not exist
  kAccessDenied,   // permissions, read-only file or folder, locked file
  kNoSpace,        // disk full or file-size limit reached
  kEmpty,          // the file holds nothing to read
  kIoError,        // any other read or write failure
  kNotSupported,   // the platform has no such facility
  kNoMemory,       // memory ran out (a load then adds nothing)
  kExists,         // the name asked for a new file is taken
  kBusy,           // another run held a lock for longer than the caller would wait
};

// The result of an operation that can fail. Its parts stay apart, so that each front end
// words the message itself: the code, the subject (the path, or the program or address the
// failure is about; "" when there is none) and the reason (the system's own text, or a
// short English one such as "not a regular file"; "" when there is none). The class is
// [[nodiscard]], so every function that returns one by value is too.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(ErrorCode code, std::string subject, std::string reason)
      : code_(code), subject_(std::move(subject)), reason_(std::move(reason)) {}

  static Status Ok() { return Status(); }

  bool ok() const { return code_ == ErrorCode::kOk; }
  ErrorCode code() const { return code_; }
  const std::string& subject() const { return subject_; }
  const std::string& reason() const { return reason_; }

  // "<subject>: <reason>", or whichever of the two is not empty, for logs and tests.
  std::string ToString() const;

 private:
  ErrorCode code_ = ErrorCode::kOk;
  std::string subject_;
  std::string reason_;
};

// Turns an errno value into a Status about `subject` with the system's text as the reason.
// The one place where an errno becomes a Status.
Status StatusFromErrno(int err, const std::string& subject);

// Memory ran out while working on `subject` ("" when the caller names it, see AboutSubject).
inline Status OutOfMemory(std::string subject) { return Status(ErrorCode::kNoMemory, std::move(subject), ""); }

// `status`, about `subject` when it is a failure that names nothing yet.
inline Status AboutSubject(const Status& status, const std::string& subject) {
  if (status.ok() || !status.subject().empty()) return status;
  return Status(status.code(), subject, status.reason());
}

}  // namespace quorvale
