#include "cli/schedule.h"

#include <memory>

#include "cli/cli_runner.h"
#include "core/sequential_file.h"
#include "core/update_task.h"
#include "platform/source_update.h"
#include "platform/update_schedule.h"

namespace quorvale {

namespace {

using Say = std::function<void(const std::string&)>;

constexpr std::string_view kOff = "off";
constexpr std::string_view kWeekly = "weekly";

// The sources file must be there before an update is planned on it; nothing is read yet.
bool SourcesReadable(Platform& platform, const std::string& path, const Say& say) {
  std::unique_ptr<SequentialFile> file;
  const Status status = platform.OpenSequentialFile(path, InputKinds::kRegularFiles, &file);
  if (status.ok()) return true;
  say("fichier de sources illisible: " + (status.reason().empty() ? path : status.ToString()));
  return false;
}

#ifdef _WIN32

UpdateFrequency FrequencyOf(std::string_view frequency) {
  return frequency == kOff ? UpdateFrequency::kOff : frequency == kWeekly ? UpdateFrequency::kWeekly
                                                                           : UpdateFrequency::kDaily;
}

#else

// The package ships the timer and its service, not enabled; the service reads this file.
const std::string kTimerSources = std::string(kUpdateTimerFolder) + "sources.txt";
constexpr std::string_view kTimer = kUpdateTimerName;

// The scheduled update is the system's timer: what to run is said, nothing is run.
int ExplainSystemdTimer(const std::string& sources, std::string_view frequency, const Say& say) {
  const std::string timer(kTimer);
  if (frequency == kOff) {
    say("pour arreter la mise a jour planifiee, lancez en root: systemctl disable --now " + timer);
    return kExitOk;
  }
  const bool weekly = frequency == kWeekly;
  say(std::string("pour une mise a jour chaque ") + (weekly ? "semaine" : "jour") +
      ", lancez en root: systemctl enable --now " + timer);
  // OnCalendar= is a list: the empty line drops the package's daily run.
  if (weekly) say("puis: systemctl edit " + timer + ", avec dans [Timer] les lignes OnCalendar= et OnCalendar=weekly");
  if (sources != kTimerSources) say("le minuteur lit " + kTimerSources + ": copiez-y " + sources);
  return kExitOk;
}

#endif

}  // namespace

int ScheduleUpdate(Platform& platform, const std::string& sources_path, std::string_view frequency, const Say& say) {
  const std::string sources = platform.AbsolutePath(sources_path);
  if (frequency != kOff && !SourcesReadable(platform, sources, say)) return kExitFile;
#ifdef _WIN32
  std::string files[kScheduledFileCount];
  if (frequency != kOff) {
    if (const Status read = ReadScheduledFiles(platform, PlacesOf(platform, sources), files); !read.ok()) {
      say("fichier illisible: " + read.ToString());
      return kExitFile;
    }
  }
  return ScheduleUpdateTask(platform, platform.ExecutablePath(), files, FrequencyOf(frequency), say) ? kExitOk
                                                                                                : kExitFile;
#else
  return ExplainSystemdTimer(sources, frequency, say);
#endif
}

}  // namespace quorvale
