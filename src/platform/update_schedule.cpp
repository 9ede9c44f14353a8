#include "platform/update_schedule.h"

#include <algorithm>
#include <random>
#include <string_view>
#include <vector>

#include "core/update_task.h"
#include "platform/file_loads.h"
#include "platform/source_update.h"

namespace quorvale {

namespace {

// The names of kScheduledFiles that the record at `path` lists.
std::vector<std::string> RecordedFiles(Platform& platform, const std::string& path) {
  std::vector<std::string> names;
  std::string text;
  if (!platform.PathExists(path) || !platform.ReadRegularFile(path, &text).ok()) return names;
  for (const char* name : kScheduledFiles) {
    if (("\n" + text).find("\n" + std::string(name) + "\n") != std::string::npos) names.emplace_back(name);
  }
  return names;
}

std::string RecordText(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += name + "\n";
  return text;
}

}  // namespace

Status ReadScheduledFiles(Platform& platform, const UpdatePlaces& places, std::string (&files)[kScheduledFileCount]) {
  const std::string* paths[] = {&places.sources_path, &places.own_path, &places.allow_path};
  static_assert(std::size(paths) == kScheduledFileCount);
  for (size_t i = 0; i < kScheduledFileCount; ++i) {
    files[i].clear();
    if (!platform.PathExists(*paths[i])) continue;
    if (Status read = ReadFileBytes(platform, *paths[i], &files[i], ReadAs::kBytes); !read.ok()) return read;
  }
  return Status::Ok();
}

Status PutScheduledFiles(Platform& platform, const std::string& folder,
                         const std::string (&files)[kScheduledFileCount]) {
  if (files[0].empty()) return Status(ErrorCode::kNotFound, folder + kScheduledFiles[0], "no sources file");
  if (Status made = platform.MakeAdministratorsFolder(folder); !made.ok()) return made;
  const std::string record = folder + kScheduleRecordFile;
  const std::vector<std::string> recorded = RecordedFiles(platform, record);
  // The record lists first every file that may be there once this is done, so that a run cut
  // short leaves none of them unlisted.
  std::vector<std::string> listed = recorded;
  for (size_t i = 0; i < kScheduledFileCount; ++i) {
    if (!files[i].empty() && std::find(listed.begin(), listed.end(), kScheduledFiles[i]) == listed.end()) {
      listed.emplace_back(kScheduledFiles[i]);
    }
  }
  if (Status wrote = platform.WriteFileAtomic(record, RecordText(listed)); !wrote.ok()) return wrote;
  std::vector<std::string> written;
  for (size_t i = 0; i < kScheduledFileCount; ++i) {
    const std::string path = folder + kScheduledFiles[i];
    const bool exists = platform.PathExists(path);
    Status status;
    if (!files[i].empty()) {
      if (exists && !platform.OnlyAdministratorsCanChange(path)) status = platform.RemoveFile(path);
      if (status.ok()) status = platform.WriteFileAtomic(path, files[i]);
      written.emplace_back(kScheduledFiles[i]);
    } else if (exists && std::find(recorded.begin(), recorded.end(), kScheduledFiles[i]) != recorded.end()) {
      status = platform.RemoveFile(path);
    }
    if (!status.ok()) return status;
  }
  return platform.WriteFileAtomic(record, RecordText(written));
}

#ifdef _WIN32

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

bool ScheduleUpdateTask(Platform& platform, const std::string& program, const std::string (&files)[kScheduledFileCount],
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
  const std::string folder = platform.SystemSourcesFolder();
  if (!off && folder.empty()) {
    say("dossier des donnees des programmes introuvable");
    return false;
  }
  if (!off && !platform.OnlyAdministratorsCanChange(program)) {
    say(program + ": d'autres utilisateurs que les administrateurs peuvent modifier ce programme ou son dossier, "
                  "et la tache planifiee le lancerait en SYSTEM: installez Quorvale avec l'installateur MSI ou "
                  "dans Program Files");
    return false;
  }
  const std::string command = UpdateTaskCommand(program, folder + kScheduledFiles[0]);
  if (!off && !TaskCommandFits(command)) {
    say("la commande de la tache depasse " + std::to_string(kLongestTaskCommand) +
        " caracteres: placez quorvale-cli dans un dossier au chemin plus court");
    return false;
  }

  if (!off) {
    if (const Status put = PutScheduledFiles(platform, folder, files); !put.ok()) {
      say("sources non copiees dans " + folder + ": " + put.ToString());
      return false;
    }
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

#endif

}  // namespace quorvale
