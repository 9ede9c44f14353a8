#include "update/update_schedule.h"

#include <algorithm>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

#include "core/sources_file.h"
#include "core/update_task.h"
#include "platform/file_read.h"
#include "update/source_update.h"
#include "update/update_texts.h"

namespace quorvale {

namespace {

// Whether the record's text lists `name` on a line of its own.
bool Recorded(std::string_view record, std::string_view name) {
  for (size_t start = 0; start < record.size();) {
    const size_t end = std::min(record.find('\n', start), record.size());
    if (record.substr(start, end - start) == name) return true;
    start = end + 1;
  }
  return false;
}

// Reads what `path` holds now into `entry`, so that it can be put back.
Status Remember(Platform& platform, const std::string& path, ScheduledFolderBefore::Entry* entry) {
  entry->path = path;
  const Status status = platform.ReadRegularFile(path, &entry->bytes);
  entry->existed = status.ok();
  return status.ok() || status.code() == ErrorCode::kNotFound ? Status::Ok() : status;
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

std::string ScheduledFilesRefusal(const std::string (&files)[kScheduledFileCount]) {
  std::vector<Source> sources;
  MalformedSourceLine malformed;
  if (!ParseSourcesFile(files[0], &sources, &malformed)) return MalformedLineText(malformed);
  if (sources.empty()) return std::string(kNoSourcesText);
  return SystemSourceRefusalText(CheckSystemSources(sources));
}

Status PutScheduledFiles(Platform& platform, const std::string& folder,
                         const std::string (&files)[kScheduledFileCount], ScheduledFolderBefore* before) {
  before->entries.clear();
  if (std::string refusal = ScheduledFilesRefusal(files); !refusal.empty()) {
    return Status(ErrorCode::kNotSupported, "", std::move(refusal));
  }
  if (Status made = platform.MakeAdministratorsFolder(folder); !made.ok()) return made;
  // The copies in kScheduledFiles' order, then the record.
  before->entries.resize(kScheduledFileCount + 1);
  for (size_t i = 0; i <= kScheduledFileCount; ++i) {
    const std::string path = folder + (i < kScheduledFileCount ? kScheduledFiles[i] : kScheduleRecordFile);
    if (Status read = Remember(platform, path, &before->entries[i]); !read.ok()) {
      before->entries.clear();  // nothing written: nothing to put back
      return read;
    }
  }
  const std::string& old_record = before->entries[kScheduledFileCount].bytes;
  const std::string& record_path = before->entries[kScheduledFileCount].path;
  // The record lists first every file that may be there once this is done, so that a run cut
  // short leaves none of them unlisted; then only those written.
  std::string listed;
  std::string written;
  for (size_t i = 0; i < kScheduledFileCount; ++i) {
    const std::string line = std::string(kScheduledFiles[i]) + "\n";
    if (!files[i].empty()) written += line;
    if (!files[i].empty() || Recorded(old_record, kScheduledFiles[i])) listed += line;
  }
  if (Status saved = platform.WritePrivateFileNoFollow(record_path, listed); !saved.ok()) return saved;
  for (size_t i = 0; i < kScheduledFileCount; ++i) {
    const ScheduledFolderBefore::Entry& entry = before->entries[i];
    Status status;
    if (!files[i].empty()) {
      if (entry.existed && !platform.OnlyAdministratorsCanChange(entry.path)) status = platform.RemoveFile(entry.path);
      if (status.ok()) status = platform.WritePrivateFileNoFollow(entry.path, files[i]);
    } else if (entry.existed && Recorded(old_record, kScheduledFiles[i])) {
      status = platform.RemoveFile(entry.path);
    }
    if (!status.ok()) return status;
  }
  return platform.WritePrivateFileNoFollow(record_path, written);
}

void PutScheduledFilesBack(Platform& platform, const ScheduledFolderBefore& before) {
  for (const ScheduledFolderBefore::Entry& entry : before.entries) {
    if (entry.existed) {
      (void)platform.WritePrivateFileNoFollow(entry.path, entry.bytes);
    } else if (platform.FactsOf(entry.path).kind != Platform::EntryFacts::Kind::kMissing) {
      (void)platform.RemoveFile(entry.path);
    }
  }
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

  ScheduledFolderBefore before;
  if (!off) {
    if (const Status put = PutScheduledFiles(platform, folder, files, &before); !put.ok()) {
      PutScheduledFilesBack(platform, before);
      say("sources non copiees dans " + folder + ": " + put.ToString());
      return false;
    }
  }
  // The task stays as it was: so do the files it reads.
  const auto failed = [&] {
    PutScheduledFilesBack(platform, before);
    return false;
  };

  // Whether the task is there already: "off" has then nothing to do, and a new time replaces
  // the old one.
  int exit_code = 0;
  if (!RunSchtasks(platform, QueryUpdateTaskArgs(schtasks), say, &exit_code)) return failed();
  const bool exists = exit_code == 0;
  if (off && !exists) {
    say("aucune " + TaskText() + ": rien a supprimer");
    return true;
  }

  const UpdateTime time = SpreadUpdateTime(frequency == UpdateFrequency::kWeekly, std::random_device()());
  const std::vector<std::string> args =
      off ? DeleteUpdateTaskArgs(schtasks) : CreateUpdateTaskArgs(schtasks, time, command);
  const char* done = off ? "supprimee" : exists ? "remplacee" : "creee";
  if (!RunSchtasks(platform, args, say, &exit_code)) return failed();
  if (exit_code != 0) {
    say(TaskText() + " non " + done + ": schtasks.exe a echoue (code de sortie " + std::to_string(exit_code) + ")");
    return failed();
  }
  say(TaskText() + " " + done + (off ? "" : ": " + WhenText(time)));
  return true;
}

#endif

}  // namespace quorvale
