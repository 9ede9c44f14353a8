#include "cli/text_output.h"

#include <algorithm>
#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#include <io.h>

#include "core/utf16.h"
#endif

#include "core/status.h"
#include "platform/platform.h"

namespace quorvale {

namespace {

// Forgets the C runtime's last error, before a call whose failure RuntimeFailure reads.
void ClearRuntimeError() {
  errno = 0;
#ifdef _WIN32
  _doserrno = 0;
#endif
}

// The reason of a C runtime call (fwrite, fflush) that has just failed. On Windows, whose C
// runtime words its errors in English whatever the user's language, it is the system's own
// text for the error the runtime met in the system, when it met one.
std::string RuntimeFailure() {
#ifdef _WIN32
  if (_doserrno != 0) return WindowsErrorText(_doserrno);
#endif
  return StatusFromErrno(errno != 0 ? errno : EIO, "").reason();
}

#ifdef _WIN32
// Characters handed to one WriteConsoleW call, well below what older consoles take at once.
constexpr size_t kConsoleChunk = 8192;

// The length of the start of a UTF-8 sequence that `bytes` ends with, its last bytes
// missing; 0 when it ends with a whole character.
size_t CutSequenceLength(std::string_view bytes) {
  for (size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
    const unsigned char byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: the sequence began before
    const size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back ? back : 0;
  }
  return 0;
}
#endif

}  // namespace

TextOutput::TextOutput(std::FILE* stream) : stream_(stream) {
#ifdef _WIN32
  const intptr_t handle = _get_osfhandle(_fileno(stream));
  DWORD mode = 0;
  if (handle != -1 && GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode)) {
    console_ = reinterpret_cast<HANDLE>(handle);
  }
#endif
}

bool TextOutput::Write(std::string_view bytes) {
#ifdef _WIN32
  if (console_ != nullptr) return WriteToConsole(bytes);
#endif
  ClearRuntimeError();
  if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) return RuntimeFailed();
  return true;
}

bool TextOutput::Flush() {
#ifdef _WIN32
  if (console_ != nullptr) {
    // A sequence that never ended shows as U+FFFD.
    const std::wstring rest = WideFromUtf8(cut_);
    cut_.clear();
    return WriteCharacters(rest);
  }
#endif
  ClearRuntimeError();
  if (std::fflush(stream_) != 0) return RuntimeFailed();
  return true;
}

bool TextOutput::RuntimeFailed() {
  failure_reason_ = RuntimeFailure();
  return false;
}

#ifdef _WIN32
bool TextOutput::WriteToConsole(std::string_view bytes) {
  std::string text = cut_;
  text += bytes;
  const size_t cut = CutSequenceLength(text);
  cut_ = text.substr(text.size() - cut);
  text.resize(text.size() - cut);
  return WriteCharacters(WideFromUtf8(text));
}

bool TextOutput::WriteCharacters(const std::wstring& wide) {
  size_t done = 0;
  while (done < wide.size()) {
    size_t chunk = std::min(wide.size() - done, kConsoleChunk);
    // A surrogate pair goes in one call.
    if (done + chunk < wide.size() && IS_HIGH_SURROGATE(wide[done + chunk - 1])) --chunk;
    DWORD written = 0;
    if (!WriteConsoleW(console_, wide.data() + done, static_cast<DWORD>(chunk), &written, nullptr) || written == 0) {
      failure_reason_ = WindowsErrorText(GetLastError());
      return false;
    }
    done += written;
  }
  return true;
}
#endif

}  // namespace quorvale
