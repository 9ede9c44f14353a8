#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/yield.h"
#include "forms/privileged_step.h"
#include "hosts/hosts_replace.h"

namespace quorvale {

class Platform;
class Prompts;

// What BackupsForm asks of the backups window of a window program.
class BackupsView {
 public:
  virtual ~BackupsView() = default;
  // The list's rows, top to bottom: date, size, entries. The view selects the first row.
  virtual void SetRows(const std::vector<std::array<std::string, 3>>& rows) = 0;
  // Shows `text` in the entries cell (BackupsForm::kEntriesColumn) of `row`.
  virtual void SetEntries(int row, const std::string& text) = 0;
  // The selected row, or -1.
  virtual int SelectedRow() const = 0;
  // Closes the modal window.
  virtual void Close() = 0;
};

// The entry counts of the backup copies, kept for the whole run so that the backups window
// shows them at once when it opens again. A count stands while its copy keeps the size and
// the modification time it had when it was counted.
class BackupEntryCounts {
 public:
  std::optional<size_t> Find(const HostsBackup& backup) const;
  // A copy whose size or time is unknown is not kept: nothing could tell it changed.
  void Keep(const HostsBackup& backup, size_t count);
  // Forgets the copies that are not among `backups` (those that went).
  void KeepOnly(const std::vector<HostsBackup>& backups);

 private:
  struct Counted {
    std::int64_t modified;
    std::int64_t bytes;
    size_t count;
  };
  std::map<std::string, Counted> counts_;  // by path
};

// The backups window: the backup copies of the HOSTS file, newest first, with their dates,
// sizes and entries, and "Restaurer" to put the selected one back in place of the file. The
// entries of a copy are the rows that the lists would hold after loading it alone.
class BackupsForm {
 public:
  static constexpr const char* kCaption = "Sauvegardes";
  static constexpr const char* kColumns[] = {"Date", "Taille", "Entrees"};
  static constexpr int kEntriesColumn = 2;
  static constexpr const char* kRestoreCaption = "Restaurer";
  static constexpr const char* kCancelCaption = "Annuler";
  // The list's size and its date column's width, in pixels at 96 dpi.
  static constexpr int kListWidth = 420;
  static constexpr int kListHeight = 200;
  static constexpr int kDateColumnWidth = 160;

  // `counts` outlives the form; `yield` lets the window's events run during the counting,
  // time-sliced.
  BackupsForm(Platform& platform, Prompts& prompts, std::string hosts_path, BackupEntryCounts& counts,
              YieldFn yield)
      : platform_(platform), prompts_(prompts), hosts_path_(std::move(hosts_path)), counts_(counts),
        yield_(std::move(yield)) {}

  // Fills the list with the copies' dates and sizes, and the entries already counted.
  void Start(BackupsView* view);
  // The view calls this once the window is on screen, from its event loop: counts the
  // entries that are not known yet, one copy after the other, top to bottom, showing each
  // count as it comes and letting the events run meanwhile. Runs once; later calls do nothing.
  void CountEntries();
  // Asks, then puts the selected copy back byte for byte, the current file kept as a new
  // copy first; the window closes and a message says how it went. During the counting, the
  // counting stops first.
  void RestoreSelected();
  void Cancel() { CloseWindow(); }
  // The window is going (a button, its close box, Escape): the counting stops at once and
  // the view is not used again. The view calls this as it closes; calling it again does
  // nothing.
  void WindowClosing() { stop_ = true; }

 private:
  // Counts the entries of `backup`; false when it could not be read or the counting stopped.
  bool CountCopy(const HostsBackup& backup, size_t* count);
  void Restore(int row);
  void CloseWindow();

  Platform& platform_;
  Prompts& prompts_;
  std::string hosts_path_;
  BackupEntryCounts& counts_;
  YieldFn yield_;
  BackupsView* view_ = nullptr;
  std::vector<HostsBackup> backups_;
  std::vector<std::string> dates_;
  bool count_started_ = false;
  bool counting_ = false;
  // Set when the window goes or a restore waits for the counting to end.
  bool stop_ = false;
  // The row to restore once the counting has let go of its copy, or -1.
  int restore_row_ = -1;
  // Where the restore runs, as found when it was asked for.
  StepRoute route_ = StepRoute::kInPlace;
};

// The detail text of "Echec! le fichier n'a pas pu etre enregistre.": the failure as the
// system put it, or that another replace kept the file too long.
std::string SaveFailureDetail(const Status& status);

// Empties the system's DNS cache after the HOSTS file changed, without waiting for a program
// it starts, and says what happened, as the detail text of the message that follows.
std::string FlushDnsCacheAfterChange(Platform& platform);
// That text for an outcome of Platform::FlushDnsCache.
std::string DnsFlushText(const DnsFlushOutcome& outcome);

}  // namespace quorvale
