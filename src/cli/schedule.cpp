#include "cli/schedule.h"

#include <iterator>
#include <memory>
#include <vector>

#include "cli/cli_runner.h"
#include "core/helper_outcome.h"
#include "core/sequential_file.h"
#include "core/sources_file.h"
#include "core/update_task.h"
#include "update/source_update.h"
#include "update/update_schedule.h"
#include "update/update_texts.h"

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

// The package ships the timer and its service, not enabled; the service reads the files of
// this folder.
const std::string kTimerFolder(kUpdateTimerFolder);
constexpr std::string_view kTimer = kUpdateTimerName;

// The timer's update runs as root and takes web addresses only (CheckSystemSources): a sources
// file it would refuse is refused here, with the line that says which.
bool TimerTakesSources(Platform& platform, const UpdatePlaces& places, const Say& say) {
  std::vector<Source> sources;
  std::string error;
  if (!ReadSources(platform, places, &sources, &error)) {
    say(error);
    return false;
  }
  error = SystemSourceRefusalText(CheckSystemSources(sources));
  if (error.empty()) return true;
  say(places.sources_path + ": " + error);
  return false;
}

// The scheduled update is the system's timer: what to run is said, nothing is run; then which
// of the sources file and the own.txt and allow.txt beside it to copy where the timer reads
// them. `places` is not read for "off".
int ExplainSystemdTimer(Platform& platform, const UpdatePlaces& places, std::string_view frequency, const Say& say) {
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
  const std::string* paths[] = {&places.sources_path, &places.own_path, &places.allow_path};
  static_assert(std::size(paths) == kScheduledFileCount);
  for (size_t i = 0; i < kScheduledFileCount; ++i) {
    const std::string read_by_timer = kTimerFolder + kScheduledFiles[i];
    if (*paths[i] == read_by_timer || (i > 0 && !platform.PathExists(*paths[i]))) continue;
    say("le minuteur lit " + read_by_timer + ": copiez-y " + *paths[i]);
  }
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
  if (frequency == kOff) return ExplainSystemdTimer(platform, {}, frequency, say);
  const UpdatePlaces places = PlacesOf(platform, sources);
  if (!TimerTakesSources(platform, places, say)) return kExitFile;
  return ExplainSystemdTimer(platform, places, frequency, say);
#endif
}

}  // namespace quorvale
