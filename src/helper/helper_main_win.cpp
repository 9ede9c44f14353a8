// quorvale-helper on Windows: started through UAC ("runas") by the window program with
// "--pipe NAME STEP...", it reads a step's framed input from that pipe, which the caller made
// for itself alone, and writes its outcome line back on it. Started without a pipe (tests), it
// uses its standard input and error.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/report.h"
#include "core/utf16.h"
#include "platform/platform.h"
#include "privileged/privileged_steps.h"

namespace {

constexpr std::string_view kPipeSwitch = "--pipe";
constexpr const char* kAccessToolFile = "subinacl.exe";

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

// Some bytes of the pipe; its end (the caller closed it) reads as none.
quorvale::Status ReadPipe(HANDLE pipe, char* into, size_t room, size_t* got) {
  DWORD read = 0;
  *got = 0;
  if (ReadFile(pipe, into, static_cast<DWORD>(room), &read, nullptr)) {
    *got = read;
    return quorvale::Status::Ok();
  }
  const DWORD err = GetLastError();
  if (err == ERROR_BROKEN_PIPE) return quorvale::Status::Ok();
  return quorvale::Status(quorvale::ErrorCode::kIoError, "pipe", "read failed (" + std::to_string(err) + ")");
}

quorvale::Status ReadStandardInput(char* into, size_t room, size_t* got) {
  const int read = _read(_fileno(stdin), into, static_cast<unsigned int>(room));
  if (read < 0) return quorvale::Status(quorvale::ErrorCode::kIoError, "standard input", "read failed");
  *got = static_cast<size_t>(read);
  return quorvale::Status::Ok();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(quorvale::Utf8FromWide(argv[i]));
  quorvale::GuardWritesAgainstSignals();
  std::unique_ptr<quorvale::Platform> platform = quorvale::CreateSystemPlatform();
  quorvale::StepContext context;
  context.access_tool = quorvale::GetAppFolder(platform->ExecutablePath()) + kAccessToolFile;
  context.cli_program = quorvale::GetAppFolder(platform->ExecutablePath()) + std::string(quorvale::kCliProgramFile);
  HANDLE pipe = INVALID_HANDLE_VALUE;
  if (args.size() >= 2 && args[0] == kPipeSwitch) {
    const std::wstring name = quorvale::WideFromUtf8(args[1]);
    args.erase(args.begin(), args.begin() + 2);
    pipe = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return quorvale::kHelperExitFailed;
    context.lock_user = PipeCaller(pipe);
    // The answer goes back on the pipe: it stays open after the input's frame.
    quorvale::SetStepChannel([pipe](char* into, size_t room, size_t* got) { return ReadPipe(pipe, into, room, got); },
                             quorvale::FrameEnd::kChannelStaysOpen, &context);
  } else {
    _setmode(_fileno(stdin), _O_BINARY);
    context.lock_user = OwnerOf(GetCurrentProcess());
    quorvale::SetStepChannel(ReadStandardInput, quorvale::FrameEnd::kChannelEnds, &context);
  }

  std::string printed;
  const quorvale::HelperOutcome outcome = quorvale::RunPrivilegedStep(*platform, args, context, &printed);
  const std::string line = quorvale::FormatHelperOutcome(outcome);
  if (pipe != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    // No flush: when the input was refused before its end, the caller is still writing and
    // reads the answer only once this end is closed; the line stays readable there.
    WriteFile(pipe, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(pipe);
  } else {
    std::fputs(printed.c_str(), stdout);
    std::fputs(line.c_str(), stderr);
  }
  return outcome.exit_code;
}
