#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace quorvale {

// The program's output to one of its standard streams, UTF-8 text or a file's bytes. To a
// Windows console it goes as characters, through WriteConsoleW, so that the console shows
// them whatever its code page (bytes that are not UTF-8 show as U+FFFD); anywhere else (a
// file, a pipe, a POSIX terminal) as the bytes they are.
class TextOutput {
 public:
  explicit TextOutput(std::FILE* stream);
  TextOutput(const TextOutput&) = delete;
  TextOutput& operator=(const TextOutput&) = delete;

  // False when the write failed (failure_reason() says why). Pieces may cut a UTF-8
  // sequence anywhere: a console gets it whole with the next piece.
  bool Write(std::string_view bytes);
  // Hands on what is held back: a sequence cut at the end (to a console), the stream's
  // buffer (elsewhere). False when that failed.
  bool Flush();
  // The system's reason for the last failure.
  const std::string& failure_reason() const { return failure_reason_; }

 private:
  // Records the reason of the C runtime's failure; returns false.
  bool RuntimeFailed();
#ifdef _WIN32
  bool WriteToConsole(std::string_view bytes);
  bool WriteCharacters(const std::wstring& characters);
  void* console_ = nullptr;  // the console's handle when the stream is one
  std::string cut_;          // the start of a UTF-8 sequence whose end has not come yet
#endif

  std::FILE* stream_;
  std::string failure_reason_;
};

}  // namespace quorvale
