#include "platform/update_schedule.h"

#include <random>
#include <vector>

#include "core/update_task.h"

namespace quorvale {

namespace {

using Say = std::function<void(const std::string&)>;

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

}  // namespace

bool ScheduleUpdateTask(Platform& platform, const std::string& program, const std::string& sources,
                        UpdateFrequency frequency, const Say& say) {
  const bool off = frequency == UpdateFrequency::kOff;
  if (!platform.IsElevated()) {
    say("la planification demande une console ouverte en administrateur");
    return false;
  }
  const std::string system_dir = platform.GetSystemDir();
  if (system_dir.empty()) {
    say("dossier systeme introuvable: schtasks.exe ne peut pas etre lance");
    return false;
  }
  const std::string schtasks = system_dir + "\\schtasks.exe";
  const std::string command = UpdateTaskCommand(program, sources);
  if (!off && !TaskCommandFits(command)) {
    say("la commande de la tache depasse " + std::to_string(kLongestTaskCommand) +
        " caracteres: placez quorvale-cli et le fichier de sources dans des dossiers aux chemins plus courts");
    return false;
  }

  // Whether the task is there already: "off" has then nothing to do, and a new time replaces
  // the old one.
  int exit_code = 0;
  if (!RunSchtasks(platform, QueryUpdateTaskArgs(schtasks), say, &exit_code)) return false;
  const bool exists = exit_code == 0;
  if (off && !exists) {
    say("aucune " + TaskText() + ": rien a supprimer");
    return true;
  }

  const UpdateTime time = SpreadUpdateTime(frequency == UpdateFrequency::kWeekly, std::random_device()());
  const std::vector<std::string> args =
      off ? DeleteUpdateTaskArgs(schtasks) : CreateUpdateTaskArgs(schtasks, time, command);
  const char* done = off ? "supprimee" : exists ? "remplacee" : "creee";
  if (!RunSchtasks(platform, args, say, &exit_code)) return false;
  if (exit_code != 0) {
    say(TaskText() + " non " + done + ": schtasks.exe a echoue (code de sortie " + std::to_string(exit_code) + ")");
    return false;
  }
  say(TaskText() + " " + done + (off ? "" : ": " + WhenText(time)));
  return true;
}

}  // namespace quorvale
