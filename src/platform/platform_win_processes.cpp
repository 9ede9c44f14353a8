// Programs on Windows: started from argument vectors, awaited, and run with administrator
// rights through UAC with a pipe of the user's own.

#include "platform/platform_win.h"

#include <sddl.h>
#include <shellapi.h>

#include <algorithm>
#include <random>

#include "core/utf16.h"
#include "platform/win_command_line.h"

namespace quorvale {

namespace {

// How long one wait for the elevated helper lasts before the caller's `waiting` runs.
constexpr DWORD kElevatedPollMilliseconds = 10;
// The pipe's buffers, each way.
constexpr DWORD kPipeBufferBytes = 1 << 16;

// "D:P(A;;GA;;;SID)": the current user alone may open the pipe.
bool OwnUserOnly(SECURITY_ATTRIBUTES* attributes) {
  std::vector<unsigned char> buffer;
  if (!CurrentUser(&buffer)) return false;
  wchar_t* sid = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) return false;
  const std::wstring sddl = L"D:P(A;;GA;;;" + std::wstring(sid) + L")";
  LocalFree(sid);
  attributes->nLength = sizeof *attributes;
  attributes->bInheritHandle = FALSE;
  return ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &attributes->lpSecurityDescriptor, nullptr) != 0;
}

std::wstring RandomPipeName() {
  std::random_device random;
  wchar_t text[17] = {};
  for (int i = 0; i < 16; ++i) text[i] = L"0123456789abcdef"[random() % 16];
  return L"\\\\.\\pipe\\quorvale-" + std::wstring(text);
}

// One overlapped call on the pipe, awaited with the window served: false when it failed (the
// helper closed its end, or it ended before connecting).
class PipeCalls {
 public:
  PipeCalls(HANDLE pipe, HANDLE process, const std::function<void()>& waiting)
      : pipe_(pipe), process_(process), waiting_(waiting) {
    overlapped_.hEvent = event_.handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  bool Connect() {
    if (ConnectNamedPipe(pipe_, &overlapped_)) return true;
    const DWORD err = GetLastError();
    if (err == ERROR_PIPE_CONNECTED) return true;
    DWORD bytes = 0;
    return err == ERROR_IO_PENDING && Await(&bytes, /*watch_process=*/true);
  }
  bool Write(std::string_view bytes) {
    while (!bytes.empty()) {
      DWORD written = 0;
      const DWORD size = static_cast<DWORD>(std::min<size_t>(bytes.size(), kPipeBufferBytes));
      if (!WriteFile(pipe_, bytes.data(), size, &written, &overlapped_) &&
          (GetLastError() != ERROR_IO_PENDING || !Await(&written, /*watch_process=*/true))) {
        return false;
      }
      if (written == 0) return false;
      bytes.remove_prefix(written);
    }
    return true;
  }
  // Everything until the helper closes its end.
  void ReadAll(std::string* output) {
    char buffer[4096];
    while (true) {
      DWORD got = 0;
      if (!ReadFile(pipe_, buffer, sizeof buffer, &got, &overlapped_) &&
          (GetLastError() != ERROR_IO_PENDING || !Await(&got, true))) {
        return;
      }
      output->append(buffer, got);
    }
  }

 private:
  bool Await(DWORD* bytes, bool watch_process) {
    while (WaitForSingleObject(overlapped_.hEvent, kElevatedPollMilliseconds) == WAIT_TIMEOUT) {
      if (waiting_) waiting_();
      if (watch_process && WaitForSingleObject(process_, 0) == WAIT_OBJECT_0 &&
          WaitForSingleObject(overlapped_.hEvent, kElevatedPollMilliseconds) == WAIT_TIMEOUT) {
        CancelIoEx(pipe_, &overlapped_);
        GetOverlappedResult(pipe_, &overlapped_, bytes, TRUE);
        return false;
      }
    }
    return GetOverlappedResult(pipe_, &overlapped_, bytes, FALSE) != 0;
  }

  HANDLE pipe_;
  HANDLE process_;
  const std::function<void()>& waiting_;
  ScopedHandle event_;
  OVERLAPPED overlapped_ = {};
};

ElevatedRun RunThroughUac(const std::string& program, const std::vector<std::string>& args, const FileContents* input,
                          const std::function<void()>& waiting) {
  ElevatedRun run;
  SECURITY_ATTRIBUTES attributes = {};
  if (!OwnUserOnly(&attributes)) {
    run.why = LastError(program);
    return run;
  }
  const std::wstring pipe_name = RandomPipeName();
  ScopedHandle pipe;
  pipe.handle =
      CreateNamedPipeW(pipe_name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                       kPipeBufferBytes, kPipeBufferBytes, 0, &attributes);
  LocalFree(attributes.lpSecurityDescriptor);
  if (pipe.handle == INVALID_HANDLE_VALUE) {
    run.why = LastError(Utf8FromWide(pipe_name));
    return run;
  }
  std::vector<std::string> argv = {"--pipe", Utf8FromWide(pipe_name)};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string parameters;
  for (const std::string& arg : argv) parameters += (parameters.empty() ? "" : " ") + QuoteWindowsArgument(arg);
  const std::wstring file = WideFromUtf8(program);
  const std::wstring wide_parameters = WideFromUtf8(parameters);
  SHELLEXECUTEINFOW execute = {};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  execute.lpVerb = L"runas";
  execute.lpFile = file.c_str();
  execute.lpParameters = wide_parameters.c_str();
  execute.nShow = SW_HIDE;
  if (!ShellExecuteExW(&execute)) {
    const DWORD err = GetLastError();
    if (err == ERROR_CANCELLED) {
      run.kind = ElevatedRun::Kind::kRefused;
    } else {
      run.why = StatusFromWin32(err, program);
    }
    return run;
  }
  ScopedHandle process{execute.hProcess};
  if (process.handle == nullptr) {
    run.why = Status(ErrorCode::kIoError, program, "no process to wait for");
    return run;
  }
  PipeCalls calls(pipe.handle, process.handle, waiting);
  if (calls.Connect()) {
    // The input as given; a helper that stops reading it has its answer ready.
    if (input != nullptr) (void)(*input)([&](std::string_view piece) { return calls.Write(piece); });
    calls.ReadAll(&run.output);
  }
  while (WaitForSingleObject(process.handle, kElevatedPollMilliseconds) == WAIT_TIMEOUT) {
    if (waiting) waiting();
  }
  DWORD exit_code = 0;
  GetExitCodeProcess(process.handle, &exit_code);
  run.kind = ElevatedRun::Kind::kEnded;
  run.exit_code = static_cast<int>(exit_code);
  return run;
}

}  // namespace

// Windows finds a bare program name by itself: the program's own folder first, then the
// current folder, the system folders and PATH, adding ".exe" when no extension is given.
Status WindowsPlatform::StartProgram(const std::vector<std::string>& argv, bool hidden) {
  if (argv.empty() || argv[0].empty()) return Status(ErrorCode::kNotFound, "", "no program given");
  std::wstring command_line = WideFromUtf8(BuildWindowsCommandLine(argv));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(hidden ? SW_HIDE : SW_SHOWNORMAL);
  PROCESS_INFORMATION process = {};
  // A console tool started hidden gets no console window at all.
  DWORD flags = hidden ? CREATE_NO_WINDOW : 0;
  if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                      &process)) {
    return LastError(argv[0]);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return Status::Ok();
}

Status WindowsPlatform::ShowTextFile(const std::string& path) { return StartProgram({"notepad.exe", path}, false); }

// The about box's links open with "1" as parameters and as working folder, in a normal
// window (5, SW_SHOW).
Status WindowsPlatform::OpenUrl(const std::string& url) {
  HINSTANCE result = ShellExecuteW(nullptr, L"open", WideFromUtf8(url).c_str(), L"1", L"1", 5);
  INT_PTR code = reinterpret_cast<INT_PTR>(result);
  if (code > 32) return Status::Ok();
  if (code == SE_ERR_FNF || code == SE_ERR_PNF || code == SE_ERR_NOASSOC) {
    return Status(ErrorCode::kNotFound, url, "no program opens this address");
  }
  return Status(ErrorCode::kIoError, url, "ShellExecute error " + std::to_string(code));
}

bool WindowsPlatform::CanRunElevated() { return true; }

ElevatedRun WindowsPlatform::RunElevated(const std::string& program, const std::vector<std::string>& args,
                                         const FileContents* input, const std::function<void()>& waiting) {
  return RunThroughUac(program, args, input, waiting);
}

// The program's standard handles are the NUL device, and that handle is the only one it
// inherits. A path is started as it is; a bare name is looked up as StartProgram does.
Status WindowsPlatform::RunProgram(const std::vector<std::string>& argv, int wait_milliseconds, int* exit_code) {
  if (argv.empty() || argv[0].empty()) return Status(ErrorCode::kNotFound, "", "no program given");
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE null_device = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inheritable, OPEN_EXISTING, 0, nullptr);
  if (null_device == INVALID_HANDLE_VALUE) return LastError("NUL");
  SIZE_T list_size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
  std::vector<char> list_room(list_size);
  auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_room.data());
  if (!InitializeProcThreadAttributeList(list, 1, 0, &list_size)) {
    const Status failed = LastError(argv[0]);
    CloseHandle(null_device);
    return failed;
  }
  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.StartupInfo.wShowWindow = SW_HIDE;
  startup.StartupInfo.hStdInput = startup.StartupInfo.hStdOutput = startup.StartupInfo.hStdError = null_device;
  startup.lpAttributeList = list;
  PROCESS_INFORMATION process = {};
  const std::wstring program = WideFromUtf8(argv[0]);
  std::wstring command_line = WideFromUtf8(BuildWindowsCommandLine(argv));
  const bool started =
      UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &null_device, sizeof null_device, nullptr,
                                nullptr) &&
      CreateProcessW(program.find_first_of(L"\\/") != std::wstring::npos ? program.c_str() : nullptr,
                     command_line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT,
                     nullptr, nullptr, &startup.StartupInfo, &process);
  const Status start_failure = started ? Status::Ok() : LastError(argv[0]);
  DeleteProcThreadAttributeList(list);
  CloseHandle(null_device);
  if (!started) return start_failure;
  CloseHandle(process.hThread);
  Status result(ErrorCode::kBusy, argv[0], "still running");
  if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(std::max(wait_milliseconds, 0))) == WAIT_OBJECT_0) {
    DWORD code = 0;
    result = GetExitCodeProcess(process.hProcess, &code) ? Status::Ok() : LastError(argv[0]);
    *exit_code = static_cast<int>(code);
  }
  CloseHandle(process.hProcess);
  return result;
}

}  // namespace quorvale
