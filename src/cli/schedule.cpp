#include "cli/schedule.h"

#include <memory>
#include <random>
#include <vector>

#include "cli/cli_runner.h"
#include "core/sequential_file.h"
#include "core/update_task.h"

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

// schtasks.exe usually answers within a second; a busy Task Scheduler service may take longer.
constexpr int kSchtasksWaitMilliseconds = 60000;
constexpr const char* kFrenchDays[] = {"lundi", "mardi", "mercredi", "jeudi", "vendredi", "samedi", "dimanche"};

std::string TaskText() { return "tache planifiee \"" + std::string(kUpdateTaskName) + "\""; }

std::string WhenText(const UpdateTime& time) {
  return std::string("chaque ") + (time.weekly ? kFrenchDays[time.weekday] : "jour") + " a " + ClockText(time);
}

// Runs schtasks.exe and gives its exit code; false, once said why, when it could not be
// started or did not end in time.
bool RunSchtasks(Platform& platform, const std::vector<std::string>& args, const Say& say, int* exit_code) {
  const Status status = platform.RunProgram(args, kSchtasksWaitMilliseconds, exit_code);
  if (status.ok()) return true;
  if (status.code() == ErrorCode::kBusy) {
    say(args[0] + " ne s'est pas termine en " + std::to_string(kSchtasksWaitMilliseconds / 1000) + " s");
  } else {
    say(args[0] + " n'a pas pu etre lance: " + (status.reason().empty() ? "introuvable" : status.reason()));
  }
  return false;
}

int ScheduleWithTaskScheduler(Platform& platform, const std::string& sources, std::string_view frequency,
                              const Say& say) {
  if (!platform.IsElevated()) {
    say("la planification demande une console ouverte en administrateur");
    return kExitFile;
  }
  const std::string system_dir = platform.GetSystemDir();
  if (system_dir.empty()) {
    say("dossier systeme introuvable: schtasks.exe ne peut pas etre lance");
    return kExitFile;
  }
  const std::string schtasks = system_dir + "\\schtasks.exe";
  const std::string command = UpdateTaskCommand(platform.ExecutablePath(), sources);
  if (frequency != kOff && !TaskCommandFits(command)) {
    say("la commande de la tache depasse " + std::to_string(kLongestTaskCommand) +
        " caracteres: placez quorvale-cli et le fichier de sources dans des dossiers aux chemins plus courts");
    return kExitFile;
  }

  // Whether the task is there already: "off" has then nothing to do, and a new time replaces
  // the old one.
  int exit_code = 0;
  if (!RunSchtasks(platform, QueryUpdateTaskArgs(schtasks), say, &exit_code)) return kExitFile;
  const bool exists = exit_code == 0;
  if (frequency == kOff && !exists) {
    say("aucune " + TaskText() + ": rien a supprimer");
    return kExitOk;
  }

  const UpdateTime time = SpreadUpdateTime(frequency == kWeekly, std::random_device()());
  const std::vector<std::string> args =
      frequency == kOff ? DeleteUpdateTaskArgs(schtasks) : CreateUpdateTaskArgs(schtasks, time, command);
  const char* done = frequency == kOff ? "supprimee" : exists ? "remplacee" : "creee";
  if (!RunSchtasks(platform, args, say, &exit_code)) return kExitFile;
  if (exit_code != 0) {
    say(TaskText() + " non " + done + ": schtasks.exe a echoue (code de sortie " + std::to_string(exit_code) + ")");
    return kExitFile;
  }
  say(TaskText() + " " + done + (frequency == kOff ? "" : ": " + WhenText(time)));
  return kExitOk;
}

#else

// The package ships the timer and its service, not enabled; the service reads this file.
constexpr std::string_view kTimerSources = "/etc/quorvale/sources.txt";
constexpr std::string_view kTimer = "quorvale-update.timer";

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
  if (sources != kTimerSources) say("le minuteur lit " + std::string(kTimerSources) + ": copiez-y " + sources);
  return kExitOk;
}

#endif

}  // namespace

int ScheduleUpdate(Platform& platform, const std::string& sources_path, std::string_view frequency, const Say& say) {
  const std::string sources = platform.AbsolutePath(sources_path);
  if (frequency != kOff && !SourcesReadable(platform, sources, say)) return kExitFile;
#ifdef _WIN32
  return ScheduleWithTaskScheduler(platform, sources, frequency, say);
#else
  return ExplainSystemdTimer(sources, frequency, say);
#endif
}

}  // namespace quorvale
