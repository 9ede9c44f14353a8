#pragma once

#include <array>
#include <string>
#include <vector>

#include "platform/hosts_replace.h"

namespace quorvale {

class Platform;
class Prompts;

// What BackupsForm asks of the backups window of a window program.
class BackupsView {
 public:
  virtual ~BackupsView() = default;
  // The list's rows, top to bottom: date, size, entries. The view selects the first row.
  virtual void SetRows(const std::vector<std::array<std::string, 3>>& rows) = 0;
  // The selected row, or -1.
  virtual int SelectedRow() const = 0;
  // Closes the modal window.
  virtual void Close() = 0;
};

// The backups window: the backup copies of the HOSTS file, newest first, with their dates,
// sizes and entries, and "Restaurer" to put the selected one back in place of the file.
class BackupsForm {
 public:
  static constexpr const char* kCaption = "Sauvegardes";
  static constexpr const char* kColumns[] = {"Date", "Taille", "Entrees"};
  static constexpr const char* kRestoreCaption = "Restaurer";
  static constexpr const char* kCancelCaption = "Annuler";

  BackupsForm(Platform& platform, Prompts& prompts, std::string hosts_path)
      : platform_(platform), prompts_(prompts), hosts_path_(std::move(hosts_path)) {}

  void Form_Load(BackupsView* view);
  // Asks, then puts the selected copy back byte for byte, the current file kept as a new
  // copy first; the window closes and a message says how it went.
  void Command1_Click();
  void Command2_Click() { view_->Close(); }

 private:
  Platform& platform_;
  Prompts& prompts_;
  std::string hosts_path_;
  BackupsView* view_ = nullptr;
  std::vector<HostsBackup> backups_;
  std::vector<std::string> dates_;
};

// The detail text of "Echec! le fichier n'a pas pu etre enregistre.": the failure as the
// system put it, or that another replace kept the file too long.
std::string SaveFailureDetail(const Status& status);

// Empties the system's DNS cache after the HOSTS file changed, without waiting for a program
// it starts, and says what happened, as the detail text of the message that follows.
std::string FlushDnsCacheAfterChange(Platform& platform);

}  // namespace quorvale
