// quorvale-helper on Windows: started through UAC ("runas") by the window program with
// "--pipe NAME STEP...", it reads a step's input from that pipe, which the caller made for
// itself alone, and writes its outcome line back on it. Started without a pipe (tests), it
// uses its standard input and error.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/report.h"
#include "core/utf16.h"
#include "helper/helper_steps.h"
#include "platform/platform.h"

namespace {

constexpr std::string_view kPipeSwitch = "--pipe";
constexpr const char* kAccessToolFile = "subinacl.exe";
constexpr const char* kCliFile = "quorvale-cli.exe";
// The longest "LENGTH\n" line of a piece.
constexpr size_t kLongestLengthLine = 20;

// The logon name of the owner of `process` ("" when it cannot be read).
std::string OwnerOf(HANDLE process) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
  std::vector<unsigned char> buffer(256);
  DWORD size = 0;
  bool read = GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size);
  if (!read && size > buffer.size()) {
    buffer.resize(size);
    read = GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
  }
  CloseHandle(token);
  if (!read) return {};
  wchar_t name[256];
  wchar_t domain[256];
  DWORD name_size = 256;
  DWORD domain_size = 256;
  SID_NAME_USE use;
  if (!LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, name, &name_size, domain,
                         &domain_size, &use)) {
    return {};
  }
  return quorvale::Utf8FromWide(std::wstring_view(name, name_size));
}

// The user at the other end of the pipe: the owner of the process that made it.
std::string PipeCaller(HANDLE pipe) {
  ULONG pid = 0;
  if (!GetNamedPipeServerProcessId(pipe, &pid)) return {};
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process == nullptr) return {};
  std::string name = OwnerOf(process);
  CloseHandle(process);
  return name;
}

bool ReadExactly(HANDLE from, char* into, size_t bytes) {
  while (bytes > 0) {
    DWORD got = 0;
    if (!ReadFile(from, into, static_cast<DWORD>(bytes), &got, nullptr) || got == 0) return false;
    into += got;
    bytes -= got;
  }
  return true;
}

// The pieces "LENGTH\n" and their bytes, until "0\n".
quorvale::Status ReadPieces(HANDLE pipe, std::string* bytes) {
  const quorvale::Status broken(quorvale::ErrorCode::kIoError, "pipe", "the input was cut short");
  while (true) {
    std::string line;
    char c = 0;
    while (ReadExactly(pipe, &c, 1) && c != '\n' && line.size() < kLongestLengthLine) line += c;
    if (c != '\n' || line.empty()) return broken;
    char* end = nullptr;
    const unsigned long long length = std::strtoull(line.c_str(), &end, 10);
    if (*end != '\0') return broken;
    if (length == 0) return quorvale::Status::Ok();
    const size_t start = bytes->size();
    bytes->resize(start + length);
    if (!ReadExactly(pipe, bytes->data() + start, length)) return broken;
  }
}

quorvale::Status ReadStandardInput(std::string* bytes) {
  char buffer[1 << 16];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) bytes->append(buffer, got);
  return std::ferror(stdin) ? quorvale::Status(quorvale::ErrorCode::kIoError, "standard input", "read failed")
                            : quorvale::Status::Ok();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(quorvale::Utf8FromWide(argv[i]));
  quorvale::GuardWritesAgainstSignals();
  std::unique_ptr<quorvale::Platform> platform = quorvale::CreateSystemPlatform();
  quorvale::HelperContext context;
  context.access_tool = quorvale::GetAppFolder(platform->ExecutablePath()) + kAccessToolFile;
  context.cli_program = quorvale::GetAppFolder(platform->ExecutablePath()) + kCliFile;
  HANDLE pipe = INVALID_HANDLE_VALUE;
  if (args.size() >= 2 && args[0] == kPipeSwitch) {
    const std::wstring name = quorvale::WideFromUtf8(args[1]);
    args.erase(args.begin(), args.begin() + 2);
    pipe = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return quorvale::kHelperExitFailed;
    context.lock_user = PipeCaller(pipe);
    context.read_input = [pipe](std::string* bytes) { return ReadPieces(pipe, bytes); };
  } else {
    _setmode(_fileno(stdin), _O_BINARY);
    context.lock_user = OwnerOf(GetCurrentProcess());
    context.read_input = ReadStandardInput;
  }

  std::string printed;
  const quorvale::HelperOutcome outcome = quorvale::RunHelperStep(*platform, args, context, &printed);
  const std::string line = quorvale::FormatHelperOutcome(outcome);
  if (pipe != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(pipe, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    FlushFileBuffers(pipe);
    CloseHandle(pipe);
  } else {
    std::fputs(printed.c_str(), stdout);
    std::fputs(line.c_str(), stderr);
  }
  return outcome.exit_code;
}
