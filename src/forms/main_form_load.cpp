// The HOSTS-format loads and the report of rejected lines.

#include "core/report.h"
#include "forms/main_form.h"
#include "forms/texts.h"
#include "hosts/file_loads.h"
#include "platform/platform.h"

namespace quorvale {

namespace {

// The wait between clearing a file's attributes and reading it.
constexpr int kBeforeReadMs = 200;

}  // namespace

bool MainForm::ClearAttributesBeforeRead() {
  const Status cleared = platform_.SetAttributes(current_file_, kAttrNormal);
  return cleared.ok() || cleared.code() == ErrorCode::kAccessDenied;
}

Status MainForm::ParseCurrentHostsFile() {
  SetStatus(texts::kLoading);
  session_.ResetRejectedLines();
  return ParseHostsFile(platform_, current_file_, session_, slice_yield_, kInputs);
}

void MainForm::LoadSystemHosts() {
  CommandScope scope(this);
  view_->SetWindowEnabled(false);
  current_file_ = hosts_path_;
  YieldNow();
  YieldNow();
  if (!current_file_.empty()) {
    HideBehindProgress();
    // Any failure from here (a missing file, a file that cannot be read, memory running out)
    // ends the load; only the last is said. The report still runs below.
    Status loaded;
    if (ClearAttributesBeforeRead()) {
      YieldNow();
      platform_.Sleep(kBeforeReadMs);
      YieldNow();
      loaded = ParseCurrentHostsFile();
      if (loaded.ok()) {
        YieldNow();
        RefreshLists();
        SetStatus(LoadedCountText());
        HoldProgress();
      }
    }
    ComeBackFromProgress();
    ReportOutOfMemory(loaded, current_file_);
  }
  view_->SetWindowEnabled(true);
  if (session_.RowCount() > 0) {
    EnableDataMenus();
    ++files_loaded_;
  }
  YieldNow();
  ShowReport();
}

bool MainForm::LoadChosenHostsFile() {
  HideBehindProgress();
  bool parsed = false;
  Status loaded;
  if (ClearAttributesBeforeRead()) {
    platform_.Sleep(kBeforeReadMs);
    YieldNow();
    loaded = ParseCurrentHostsFile();
    if (loaded.ok()) {
      parsed = true;
      ++files_loaded_;
      RefreshLists();
      SetStatus(LoadedCountText());
      HoldProgress();
    }
  }
  ComeBackFromProgress();
  ReportOutOfMemory(loaded, current_file_);
  return parsed;
}

void MainForm::LoadHostsFile() {
  CommandScope scope(this);
  view_->SetWindowEnabled(false);
  current_file_ = ShowOpenDialog();
  YieldNow();
  if (!current_file_.empty() && LoadChosenHostsFile()) ShowReport();
  view_->SetWindowEnabled(true);
  if (session_.RowCount() > 0) EnableDataMenus();
  YieldNow();
}

void MainForm::LoadDroppedFiles(const std::vector<std::string>& paths) {
  if (running_commands_ > 0 || paths.empty()) return;
  CommandScope scope(this);
  view_->SetWindowEnabled(false);
  // Each load starts the rejected lines afresh; the report gathers those of every file.
  std::vector<std::string> rejected;
  bool parsed_any = false;
  const std::string status_before = status_text_;
  for (const std::string& path : paths) {
    current_file_ = path;
    YieldNow();
    if (!LoadChosenHostsFile()) continue;
    parsed_any = true;
    rejected.insert(rejected.end(), session_.RejectedLines.begin(), session_.RejectedLines.end());
  }
  // A file that could not be read (a folder, a named pipe) must not leave the status text
  // saying that a load is running.
  SetStatus(parsed_any ? LoadedCountText() : status_before);
  if (parsed_any) {
    session_.RejectedLines = std::move(rejected);
    ShowReport();
  }
  view_->SetWindowEnabled(true);
  if (session_.RowCount() > 0) EnableDataMenus();
  YieldNow();
}

// The program's folder on Windows. Elsewhere the program may lie in a folder of the system's
// programs (/usr/bin, /usr/local/bin), where nothing of a user's is written, even by root:
// there the program's folder is taken for Quorvale's own only when the access-control tool
// lies beside the program, as in a build folder or an unpacked archive (an installed package
// keeps the tool in a folder of its own).
std::string MainForm::ReportFolder() {
  std::string folder = GetAppFolder(platform_.ExecutablePath());
#ifndef _WIN32
  if (!folder.empty() && !platform_.PathExists(folder + kAccessToolFile)) folder.clear();
#endif
  return folder;
}

void MainForm::ShowReport() {
  std::string report = BuildReport(session_.RejectedLines);
  YieldNow();
  std::string path;
  Status status(ErrorCode::kNotFound, std::string(kReportFileName), "no folder to write it in");
  const auto write_in = [&](const std::string& folder) {
    if (folder.empty()) return;
    path = folder + std::string(kReportFileName);
    // Others may write to the folder: a link planted under the report's name is replaced,
    // never written through.
    status = platform_.WriteFileAtomicNoFollow(path, report);
  };
  write_in(ReportFolder());
  // The program's folder is often not writable once installed; the report then goes to the
  // user's own application data folder.
  if (!status.ok()) write_in(platform_.UserDataFolder());
  if (!status.ok()) {
    ReportSaveFailed(status);
    return;
  }
  // The report is written; a viewer that cannot be started is not worth a message.
  (void)platform_.ShowTextFile(path);
  YieldNow();
}

}  // namespace quorvale
