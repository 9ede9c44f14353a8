#include "forms/backups_form.h"

#include <ctime>
#include <string_view>
#include <utility>

#include "core/hosts_parser.h"
#include "core/item_reader.h"
#include "core/session.h"
#include "forms/privileged_step.h"
#include "forms/prompts.h"
#include "forms/texts.h"
#include "platform/file_read.h"
#include "platform/platform.h"
#include "privileged/privileged_steps.h"

namespace quorvale {

namespace {

// A copy read for its count, which ends where it is, as if the file ended there, once the
// counting stops: the piece being parsed is the last one.
class StoppablePieces : public LinePieces {
 public:
  StoppablePieces(LinePieces& pieces, const bool& stop) : pieces_(pieces), stop_(stop) {}
  bool Next(std::string_view* piece) override { return !stop_ && pieces_.Next(piece); }
  Status status() const override { return pieces_.status(); }
  uint64_t size_hint() const override { return pieces_.size_hint(); }

 private:
  LinePieces& pieces_;
  const bool& stop_;
};

}  // namespace

std::optional<size_t> BackupEntryCounts::Find(const HostsBackup& backup) const {
  const auto found = counts_.find(backup.path);
  if (found == counts_.end() || found->second.modified != backup.modified || found->second.bytes != backup.bytes) {
    return std::nullopt;
  }
  return found->second.count;
}

void BackupEntryCounts::Keep(const HostsBackup& backup, size_t count) {
  if (backup.modified < 0 || backup.bytes < 0) return;
  counts_[backup.path] = {backup.modified, backup.bytes, count};
}

void BackupEntryCounts::KeepOnly(const std::vector<HostsBackup>& backups) {
  std::map<std::string, Counted> kept;
  for (const HostsBackup& backup : backups) {
    const auto found = counts_.find(backup.path);
    if (found != counts_.end()) kept.insert(*found);
  }
  counts_ = std::move(kept);
}

void BackupsForm::Start(BackupsView* view) {
  view_ = view;
  backups_ = ListHostsBackups(platform_, hosts_path_);
  counts_.KeepOnly(backups_);
  std::vector<std::array<std::string, 3>> rows;
  for (const HostsBackup& backup : backups_) {
    const std::optional<size_t> entries = counts_.Find(backup);
    dates_.push_back(BackupTimeText(backup.modified));
    rows.push_back({dates_.back(), backup.bytes < 0 ? std::string() : std::to_string(backup.bytes),
                    entries ? std::to_string(*entries) : std::string()});
  }
  view_->SetRows(rows);
}

void BackupsForm::CountEntries() {
  if (count_started_) return;
  count_started_ = true;
  counting_ = true;
  for (size_t row = 0; row < backups_.size() && !stop_; ++row) {
    if (counts_.Find(backups_[row])) continue;
    size_t entries = 0;
    if (!CountCopy(backups_[row], &entries)) continue;
    counts_.Keep(backups_[row], entries);
    view_->SetEntries(static_cast<int>(row), std::to_string(entries));
  }
  counting_ = false;
  if (restore_row_ >= 0) Restore(restore_row_);
}

bool BackupsForm::CountCopy(const HostsBackup& backup, size_t* count) {
  // The copy is loaded as the window loads a HOSTS file, into lists of its own that go
  // before the next copy is read.
  Session scratch;
  scratch.ResetRejectedLines();
  FilePieces file;
  if (!OpenPieces(platform_, backup.path, InputKinds::kRegularFiles, &file).ok()) return false;
  StoppablePieces pieces(file, stop_);
  const YieldFn yield = [this] {
    if (!stop_ && yield_) yield_();
  };
  if (!ParseHostsPieces(pieces, scratch, yield).ok() || stop_) return false;
  *count = scratch.RowCount();
  return true;
}

void BackupsForm::RestoreSelected() {
  const int row = view_->SelectedRow();
  if (row < 0 || row >= static_cast<int>(backups_.size())) return;
  route_ = ChooseStepRoute(platform_, hosts_path_);
  if (route_ == StepRoute::kNotSystemFile) {
    (void)prompts_.Message(texts::kSaveFailed, Prompts::Buttons::kOk, Prompts::Icon::kCritical, texts::kTitle,
                           texts::kNotSystemHosts);
    return;
  }
  if (route_ == StepRoute::kUnavailable) {
    (void)prompts_.Message(texts::kSaveFailed, Prompts::Buttons::kOk, Prompts::Icon::kCritical, texts::kTitle,
                           RightsNeededDetail({"quorvale-cli", "--restore-backup", backups_[row].name}));
    return;
  }
  if (prompts_.Message("Remplacer le fichier hosts par la sauvegarde du " + dates_[row] + " ?",
                       Prompts::Buttons::kYesNo, Prompts::Icon::kNone, texts::kConfirmation,
                       {}) != Prompts::Answer::kYes) {
    return;
  }
  if (counting_) {
    // The click came while a copy was being read: the replace, which may remove old copies,
    // waits until the counting has closed it.
    restore_row_ = row;
    stop_ = true;
    return;
  }
  Restore(row);
}

void BackupsForm::Restore(int row) {
  // The window goes first: while the restore waits for another replace to end, the events
  // that run must not reach its buttons.
  CloseWindow();
  if (route_ == StepRoute::kHelper) {
    const std::vector<std::string> args = {std::string(helper_steps::kRestore), backups_[row].name};
    const HelperStepResult result = RunStepInHelper(platform_, args, nullptr, yield_);
    if (result.kind != HelperStepResult::Kind::kDone) {
      (void)prompts_.Message(texts::kSaveFailed, Prompts::Buttons::kOk, Prompts::Icon::kCritical, texts::kTitle,
                             StepFailureDetail(result));
      return;
    }
    (void)prompts_.Message(texts::kHostsReplaced, Prompts::Buttons::kOk, Prompts::Icon::kNone, texts::kTitle,
                           result.dns_text);
    return;
  }
  const Status restored = RestoreHostsBackup(platform_, hosts_path_, backups_[row].name, std::time(nullptr),
                                              nullptr, yield_);
  if (!restored.ok()) {
    (void)prompts_.Message(texts::kSaveFailed, Prompts::Buttons::kOk, Prompts::Icon::kCritical, texts::kTitle,
                           SaveFailureDetail(restored));
    return;
  }
  (void)prompts_.Message(texts::kHostsReplaced, Prompts::Buttons::kOk, Prompts::Icon::kNone, texts::kTitle,
                         FlushDnsCacheAfterChange(platform_));
}

void BackupsForm::CloseWindow() {
  WindowClosing();
  view_->Close();
}

std::string SaveFailureDetail(const Status& status) {
  return status.code() == ErrorCode::kBusy ? std::string(texts::kReplaceBusy) : status.ToString();
}

std::string FlushDnsCacheAfterChange(Platform& platform) {
  return DnsFlushText(platform.FlushDnsCache(/*wait_milliseconds=*/0));
}

std::string DnsFlushText(const DnsFlushOutcome& outcome) {
  switch (outcome.kind) {
    case DnsFlushOutcome::Kind::kFlushed:
      return "Le cache DNS a ete vide.";
    case DnsFlushOutcome::Kind::kStarted:
      return "Vidage du cache DNS demande.";
    case DnsFlushOutcome::Kind::kNotDone:
      break;
  }
  if (outcome.why.code() == ErrorCode::kNotSupported) {
    return "Le cache DNS n'a pas ete vide: ce systeme n'offre aucun moyen connu de le vider.";
  }
  return "Le cache DNS n'a pas ete vide: " + outcome.why.ToString();
}

}  // namespace quorvale
