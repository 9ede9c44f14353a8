// The system on Windows: its places, its error texts, the DNS cache, dates and texts, and
// HTTP through WinHTTP.

#include "platform/platform_win.h"

#include <algorithm>

#include "core/utf16.h"
#include "platform/dns_flush_win.h"
#include "platform/download_winhttp.h"
#include "platform/registry_win.h"

namespace quorvale {

namespace {

// Room for a date or a time in the user's format; a longer one is not made.
constexpr int kDateTextRoom = 256;
// The last year a SYSTEMTIME holds.
constexpr int kLastSystemYear = 30827;

}  // namespace

Status StatusFromWin32(DWORD err, const std::string& subject) {
  ErrorCode code = ErrorCode::kIoError;
  switch (err) {
    case ERROR_SUCCESS:
      return Status::Ok();
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      code = ErrorCode::kNotFound;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_PRIVILEGE_NOT_HELD:
      code = ErrorCode::kAccessDenied;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE:
      code = ErrorCode::kNoSpace;
      break;
    case ERROR_NOT_SUPPORTED:
    case ERROR_CALL_NOT_IMPLEMENTED:
      code = ErrorCode::kNotSupported;
      break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      code = ErrorCode::kExists;
      break;
    default:
      break;
  }
  return Status(code, subject, WindowsErrorText(err));
}

Status LastError(const std::string& subject) { return StatusFromWin32(GetLastError(), subject); }

// A buffer of 255 characters; a longer system directory (which Windows does not have)
// gives "" rather than a cut path.
std::string WindowsPlatform::GetSystemDir() {
  constexpr UINT kLongestSystemDir = 255;
  wchar_t buffer[kLongestSystemDir + 1] = {};
  UINT length = GetSystemDirectoryW(buffer, kLongestSystemDir);
  if (length == 0 || length >= kLongestSystemDir) return std::string();
  return Utf8FromWide(std::wstring_view(buffer, length));
}

std::string WindowsPlatform::HostsPath() { return GetSystemDir() + "\\drivers\\etc\\HOSTS"; }

std::string WindowsPlatform::ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  while (true) {
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) {
      buffer.resize(length);
      return Utf8FromWide(buffer);
    }
    if (buffer.size() >= 32768) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

void WindowsPlatform::Sleep(int milliseconds) {
  if (milliseconds > 0) ::Sleep(static_cast<DWORD>(milliseconds));
}

std::string WindowsPlatform::SystemInfoToolPath() { return FindSystemInfoTool(); }

DnsFlushOutcome WindowsPlatform::FlushDnsCache(int wait_milliseconds) {
  unsigned long start_error = 0;
  DnsFlushOutcome outcome = FlushWindowsDnsCache(GetSystemDir(), wait_milliseconds, &start_error);
  if (start_error != 0) outcome.why = StatusFromWin32(start_error, "ipconfig");
  return outcome;
}

std::string WindowsPlatform::LocalDateTimeText() { return DateTimeText(HeaderMoment()); }

std::string WindowsPlatform::DateTimeText(const std::tm& moment) {
  // A moment the system cannot show (a year past 30827) is shown as the C runtime would.
  if (moment.tm_year + 1900 > kLastSystemYear) return LocaleDateTimeText(moment);
  SYSTEMTIME time = {};
  time.wYear = static_cast<WORD>(moment.tm_year + 1900);
  time.wMonth = static_cast<WORD>(moment.tm_mon + 1);
  time.wDayOfWeek = static_cast<WORD>(moment.tm_wday);
  time.wDay = static_cast<WORD>(moment.tm_mday);
  time.wHour = static_cast<WORD>(moment.tm_hour);
  time.wMinute = static_cast<WORD>(moment.tm_min);
  time.wSecond = static_cast<WORD>(moment.tm_sec);
  wchar_t date[kDateTextRoom];
  wchar_t clock[kDateTextRoom];
  // Flags 0: the locale's long time format. Both counts take in the closing NUL.
  const int date_length =
      GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, kDateTextRoom, nullptr);
  const int clock_length = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &time, nullptr, clock, kDateTextRoom);
  if (date_length <= 0 || clock_length <= 0) return LocaleDateTimeText(moment);
  return Utf8FromWide(std::wstring_view(date, date_length - 1)) + " " +
         Utf8FromWide(std::wstring_view(clock, clock_length - 1));
}

std::string WindowsPlatform::AnsiToUtf8(std::string_view bytes) {
  // The call counts in int; a longer text goes in pieces (a double-byte character cut
  // between two of them shows wrong).
  constexpr size_t kCallPieceBytes = size_t{1} << 30;
  std::wstring wide;
  for (size_t at = 0; at < bytes.size(); at += kCallPieceBytes) {
    const std::string_view piece = bytes.substr(at, kCallPieceBytes);
    const int size = static_cast<int>(piece.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, piece.data(), size, nullptr, 0);
    const size_t before = wide.size();
    wide.resize(before + static_cast<size_t>(std::max(length, 0)));
    MultiByteToWideChar(CP_ACP, 0, piece.data(), size, wide.data() + before, length);
  }
  return Utf8FromWide(wide);
}
DownloadResult WindowsPlatform::Download(const DownloadRequest& request, const DownloadProgress& progress) {
  return DownloadWithWinHttp(request, progress);
}

std::string WindowsErrorText(unsigned long code) {
  // WinHTTP's codes have their texts in its own module.
  constexpr unsigned long kFirstWinHttpCode = 12000;
  constexpr unsigned long kLastWinHttpCode = 12999;
  HMODULE winhttp = code >= kFirstWinHttpCode && code <= kLastWinHttpCode ? GetModuleHandleW(L"winhttp.dll") : nullptr;
  wchar_t* message = nullptr;
  DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                    (winhttp != nullptr ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM),
                                winhttp, code, 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
  std::string text =
      length > 0 && message != nullptr ? Utf8FromWide(std::wstring_view(message, length)) : std::string();
  if (message != nullptr) LocalFree(message);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  if (text.empty()) text = "error " + std::to_string(code);
  return text;
}

std::unique_ptr<Platform> CreateSystemPlatform() { return std::make_unique<WindowsPlatform>(); }

}  // namespace quorvale
