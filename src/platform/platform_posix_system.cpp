// The system on POSIX: its places, the DNS caches, dates and texts, and HTTP through libcurl.

#include "platform/platform_posix.h"

#include <dirent.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <thread>
#include <utility>

#include "core/utf16.h"
#include "platform/download_curl.h"
#include "platform/file_read.h"

namespace quorvale {

namespace {

// Whether a process of that command name (as /proc/PID/comm shows it) runs.
bool ProcessRuns(Platform& platform, std::string_view name) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return false;
  bool found = false;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    std::string comm;
    if (!ReadFileBytes(platform, std::string("/proc/") + entry->d_name + "/comm", &comm, ReadAs::kBytes).ok()) {
      continue;
    }
    if (comm.ends_with('\n')) comm.pop_back();
    if (comm == name) {
      found = true;
      break;
    }
  }
  closedir(proc);
  return found;
}

DnsFlushOutcome FlushDnsCaches(Platform& platform, int wait_milliseconds) {
  DnsFlushOutcome outcome;
  std::vector<std::pair<std::string, std::vector<std::string>>> commands;  // (program file, argv)
  if (std::string resolvectl = FindOnPath("resolvectl"); !resolvectl.empty()) {
    commands.push_back({resolvectl, {"resolvectl", "flush-caches"}});
  }
  if (ProcessRuns(platform, "nscd")) {
    if (std::string nscd = FindOnPath("nscd"); !nscd.empty()) commands.push_back({nscd, {"nscd", "-i", "hosts"}});
  }
  if (commands.empty()) {
    outcome.why = Status(ErrorCode::kNotSupported, "", "neither resolvectl nor a running nscd was found");
    return outcome;
  }
  std::vector<pid_t> pids;
  for (const auto& [program, argv] : commands) {
    pid_t pid = 0;
    Status started = Spawn(program, argv, /*quiet=*/true, &pid);
    if (!started.ok()) {
      outcome.why = started;
      continue;
    }
    outcome.programs.push_back({argv, false, 0});
    pids.push_back(pid);
  }
  if (pids.empty()) return outcome;
  outcome.kind = DnsFlushOutcome::Kind::kStarted;
  outcome.why = Status::Ok();

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_milliseconds);
  size_t running = pids.size();
  while (running > 0) {
    for (size_t i = 0; i < pids.size(); ++i) {
      int wait_status = 0;
      if (outcome.programs[i].ended || waitpid(pids[i], &wait_status, WNOHANG) != pids[i]) continue;
      outcome.programs[i].ended = true;
      outcome.programs[i].exit_code = ExitCodeOf(wait_status);
      --running;
    }
    if (running == 0 || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(kChildPollInterval);
  }
  for (size_t i = 0; i < pids.size(); ++i) {
    if (!outcome.programs[i].ended) ReapLater(pids[i]);
  }
  return outcome;
}

}  // namespace

std::string PosixPlatform::GetSystemDir() {
  const char* dir = std::getenv("QUORVALE_SYSTEM_DIR");
  return dir != nullptr ? std::string(dir) : std::string();
}

std::string PosixPlatform::HostsPath() {
  const char* dir = std::getenv("QUORVALE_SYSTEM_DIR");
  if (dir != nullptr && *dir != '\0') return std::string(dir) + "/drivers/etc/HOSTS";
  return "/etc/hosts";
}

std::string PosixPlatform::ExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return std::string();
  return std::string(buffer, static_cast<size_t>(length));
}

void PosixPlatform::Sleep(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::string PosixPlatform::SystemInfoToolPath() { return std::string(); }

DnsFlushOutcome PosixPlatform::FlushDnsCache(int wait_milliseconds) { return FlushDnsCaches(*this, wait_milliseconds); }

std::string PosixPlatform::LocalDateTimeText() { return LocaleDateTimeText(HeaderMoment()); }
std::string PosixPlatform::AnsiToUtf8(std::string_view bytes) { return Utf8FromWindows1252(bytes); }

DownloadResult PosixPlatform::Download(const DownloadRequest& request, const DownloadProgress& progress) {
  return DownloadWithCurl(request, progress);
}

std::unique_ptr<Platform> CreateSystemPlatform() { return std::make_unique<PosixPlatform>(); }

}  // namespace quorvale
