#include "forms/backups_form.h"

#include <ctime>

#include "core/hosts_parser.h"
#include "forms/prompts.h"
#include "forms/texts.h"
#include "platform/platform.h"

namespace quorvale {

void BackupsForm::Form_Load(BackupsView* view) {
  view_ = view;
  backups_ = ListHostsBackups(platform_, hosts_path_);
  std::vector<std::array<std::string, 3>> rows;
  for (const HostsBackup& backup : backups_) {
    size_t entries = 0;
    const bool counted = CountHostsEntries(backup.path, &entries).ok();
    dates_.push_back(BackupTimeText(backup.modified));
    rows.push_back({dates_.back(), backup.bytes < 0 ? std::string() : std::to_string(backup.bytes),
                    counted ? std::to_string(entries) : std::string()});
  }
  view_->SetRows(rows);
}

void BackupsForm::Command1_Click() {
  const int row = view_->SelectedRow();
  if (row < 0 || row >= static_cast<int>(backups_.size())) return;
  if (prompts_.Message("Remplacer le fichier hosts par la sauvegarde du " + dates_[row] + " ?",
                       Prompts::Buttons::kYesNo, Prompts::Icon::kNone, texts::kConfirmation,
                       {}) != Prompts::Answer::kYes) {
    return;
  }
  const Status restored = RestoreHostsBackup(platform_, hosts_path_, backups_[row].name, std::time(nullptr));
  view_->Close();
  if (!restored.ok()) {
    (void)prompts_.Message(texts::kSaveFailed, Prompts::Buttons::kOk, Prompts::Icon::kCritical, texts::kTitle,
                           SaveFailureDetail(restored));
    return;
  }
  (void)prompts_.Message(texts::kHostsReplaced, Prompts::Buttons::kOk, Prompts::Icon::kNone, texts::kTitle,
                         FlushDnsCacheAfterChange(platform_));
}

std::string SaveFailureDetail(const Status& status) {
  return status.code() == ErrorCode::kBusy ? std::string(texts::kReplaceBusy) : status.ToString();
}

std::string FlushDnsCacheAfterChange(Platform& platform) {
  const DnsFlushOutcome outcome = platform.FlushDnsCache(/*wait_milliseconds=*/0);
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
