#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/sources_file.h"
#include "core/status.h"
#include "core/yield.h"
#include "forms/sources_file_lines.h"

namespace quorvale {

class MainForm;
class Platform;
class Prompts;
class SourceEditorForm;
class AllowedNamesForm;

// The Sources window's buttons that it enables and disables: during an update only
// "Annuler" is enabled; otherwise every other one is.
enum class SourcesControl { kAdd, kEdit, kRemove, kUpdate, kAllowedNames, kClose, kCancel };
inline constexpr int kSourcesControlCount = static_cast<int>(SourcesControl::kCancel) + 1;

// What SourcesForm asks of the Sources window of a window program.
class SourcesView {
 public:
  struct Row {
    bool enabled = true;  // the row's check box
    // A line that no update can read: it has no check box, and its cells say why.
    bool malformed = false;
    std::array<std::string, 5> cells;
  };
  virtual ~SourcesView() = default;
  // The list's rows, top to bottom; the view keeps the selected row's place when it can.
  virtual void SetRows(const std::vector<Row>& rows) = 0;
  virtual void SetCell(int row, int column, const std::string& text) = 0;
  // The selected row, or -1.
  virtual int SelectedRow() const = 0;
  virtual void SetControlEnabled(SourcesControl control, bool enabled) = 0;
  // The "Mettre a jour chaque jour" box.
  virtual void SetDailyChecked(bool checked) = 0;
  // The line beside it that sums up the window's last update.
  virtual void SetSummary(const std::string& text) = 0;
  // The other windows, modal: these return when they close.
  virtual void RunSourceEditor(SourceEditorForm& form) = 0;
  virtual void RunAllowedNamesWindow(AllowedNamesForm& form) = 0;
  // Closes the modal window.
  virtual void Close() = 0;
};

// The Sources window: the sources of the user's sources file (ConfigFolder()/sources.txt)
// with their kind, the date of their cached copy, what the last update did and what they
// gave (from the last status an update left, until the window runs one), and the file's
// malformed lines with the reason each is left out. Every change is written to the file at
// once; "Mettre a jour" downloads them all and loads the result into the main window's
// lists, as the command line's update does.
// While an update or the daily box's privileged step runs (their waits let the window's
// events run), every command but "Annuler" and closing is ignored, a clicked box put back.
class SourcesForm {
 public:
  static constexpr const char* kCaption = "Sources";
  static constexpr const char* kColumns[] = {"Adresse", "Type", "Mise a jour", "Etat", "Entrees"};
  static constexpr int kAddressColumn = 0;
  static constexpr int kKindColumn = 1;
  static constexpr int kDateColumn = 2;
  static constexpr int kStateColumn = 3;
  static constexpr int kEntriesColumn = 4;
  // The captions of the window's controls, "&" before each one's access key: the buttons in
  // the order of SourcesControl, then the daily box.
  static constexpr const char* kCaptions[] = {"&Ajouter...",       "&Modifier...", "&Supprimer", "Mettre a &jour",
                                              "&Noms autorises...", "&Fermer",      "Annu&ler",   "Mettre a jour &chaque jour"};
  static constexpr int kDailyBox = kSourcesControlCount;
  static constexpr const char* kFileName = "sources.txt";
  static constexpr const char* kReplaceQuestion =
      "Les listes actuelles seront remplacees par les sources. Continuer ?";
  static constexpr const char* kCancelledState = "annulee";
  // What the sources of an update say from "Annuler" until their downloads have ended.
  static constexpr const char* kCancellingState = "Annulation...";
  static constexpr const char* kDailyOn = "Mise a jour quotidienne activee";
  static constexpr const char* kDailyOff = "Mise a jour quotidienne arretee";
  static constexpr const char* kDailyOnFailed = "Echec! la mise a jour quotidienne n'a pas pu etre activee.";
  static constexpr const char* kDailyOffFailed = "Echec! la mise a jour quotidienne n'a pas pu etre arretee.";
  // Asked for a source whose new copy holds less than half the entries of the last one (or
  // none): "La source X ne donne plus que N entrees au lieu de M. Accepter cette copie ?".
  static std::string ShrinkQuestion(const std::string& address, std::int64_t entries, std::int64_t last_entries);
  // Asked before "Supprimer" takes out the source that the list shows as `address`.
  static std::string RemoveQuestion(const std::string& address);
  // The kind cell of a malformed line.
  static constexpr const char* kMalformedKind = "ligne mal formee";
#ifdef _WIN32
  static constexpr const char* kDailyCopied =
      "Les sources, own.txt et allow.txt ont ete copies dans %ProgramData%\\Quorvale\\.";
#else
  static constexpr const char* kDailyCopied = "Les sources, own.txt et allow.txt ont ete copies dans /etc/quorvale/.";
#endif
  // The list's size and its columns' widths, in pixels at 96 dpi: room for an address, a
  // date and "telechargee (N octets, M entrees, S s)" on one line each.
  static constexpr int kListWidth = 940;
  static constexpr int kListHeight = 240;
  static constexpr int kColumnWidths[] = {290, 125, 140, 315, 60};
  static constexpr int kAddressColumnWidth = kColumnWidths[kAddressColumn];

  // `main` receives the lists of an update; `yield` lets the window's events run, time-sliced.
  SourcesForm(Platform& platform, Prompts& prompts, MainForm& main, YieldFn yield);
  ~SourcesForm();

  // Reads the sources file and fills the list.
  void Start(SourcesView* view);
  void Add();
  void EditSelected();
  // Takes the selected source out of the file once the user has said yes ("Non" is the
  // default answer, so that a stray key removes nothing).
  void RemoveSelected();
  // The check box of `row` was set to `enabled`.
  void SwitchSource(int row, bool enabled);
  void ShowAllowedNames();
  // "Mettre a jour chaque jour" was set to `on`: the system's daily update is turned on or
  // off with administrator rights (the box goes back when that fails).
  void SwitchDaily(bool on);
  // "Mettre a jour": downloads every source switched on, showing each one's progress, then
  // loads the main window's lists from own.txt, the copies and allow.txt.
  void Update();
  // "Annuler" during an update: the downloads stop, the cache and the lists stay as they were.
  // Until they have, the sources say so and "Annuler" is disabled.
  void CancelUpdate();
  void CloseWindow();
  // The window is going (a button, its close box, Escape): an update in progress is
  // cancelled, and the view is not used again. Calling it again does nothing.
  void WindowClosing();

  const std::string& sources_path() const { return sources_path_; }

 private:
  // Shows the file's sources with what is known of them.
  void ShowRows();
  // The one check of every command but "Annuler" and closing: true, and the command is to be
  // ignored, while an update or a privileged step runs or once the window is closed. A box
  // that the ignored click changed is then shown again as it was, by `put_back`.
  bool Busy(const std::function<void()>& put_back = nullptr);
  // Shows `text` in the state cell of `row`.
  void SetStateCell(int row, const std::string& text);
  // The address cell of the file's `entry`: its source's address, or a malformed line's text.
  std::string AddressCell(size_t entry) const;
  // Writes the changed file; says so when it cannot.
  bool Save();
  // The editor, on `address` and `kind`; false when it was left without "OK".
  bool RunEditor(std::string* address, SourceKind* kind);
  // Enables the buttons for an update running or not, and marks it as running.
  void SetUpdating(bool updating);
  // Says that the daily update could not be switched, and shows the box as it was.
  void DailyNotSwitched(bool on, const std::string& detail);
  // Copies the downloads' progress into the list.
  void ShowProgress();

  Platform& platform_;
  Prompts& prompts_;
  MainForm& main_;
  YieldFn yield_;
  SourcesView* view_ = nullptr;
  bool closed_ = false;
  std::string sources_path_;
  SourcesFileLines file_{""};
  // The rows as the view shows them.
  std::vector<SourcesView::Row> rows_;
  // What the last update said of each source (state, entries), by address.
  std::map<std::string, std::array<std::string, 2>> outcomes_;

  // What runs now, as Busy sees it.
  enum class Running { kNothing, kUpdate, kPrivilegedStep };
  Running running_ = Running::kNothing;
  // The update in progress.
  std::atomic<bool> cancel_{false};
  // Per source downloaded: the bytes received so far (written by the downloading threads),
  // what the list shows, and the row that shows it.
  std::unique_ptr<std::atomic<std::uint64_t>[]> bytes_;
  std::vector<std::uint64_t> bytes_shown_;
  std::vector<int> rows_of_sources_;
};

// What SourceEditorForm asks of the small window that adds or changes a source.
class SourceEditorView {
 public:
  virtual ~SourceEditorView() = default;
  virtual std::string Address() const = 0;
  virtual SourceKind Kind() const = 0;
  virtual void SetAddress(const std::string& address) = 0;
  virtual void SetKind(SourceKind kind) = 0;
  virtual void Close() = 0;
};

// The window that asks for a source's address and kind. "OK" keeps them when the address is
// one the sources file takes (else it says why, as the file's reader words it, and stays
// open); "Annuler", Escape and the close box keep nothing.
class SourceEditorForm {
 public:
  static constexpr const char* kAddCaption = "Ajouter une source";
  static constexpr const char* kEditCaption = "Modifier la source";
  // Each kind, in the order of SourceKind: its name in the Sources window's list, the
  // caption of its option here ("&" before its access key) and the option's object name.
  struct KindCaptions {
    const char* list_name;
    const char* option;
    const char* object_name;
  };
  static constexpr KindCaptions kKindCaptions[] = {{"HOSTS", "&HOSTS", "optHosts"},
                                                   {"noms de domaines", "noms de &domaines", "optDomaines"}};
  static_assert(std::size(kKindCaptions) == std::size(kSourceKinds), "captions for each kind");
  static const KindCaptions& CaptionsOf(SourceKind kind) { return kKindCaptions[static_cast<int>(kind)]; }
  // The captions of the window's other controls, "&" before each one's access key: the
  // address field's label, "OK" and "Annuler".
  static constexpr const char* kCaptions[] = {"&Adresse :", "&OK", "A&nnuler"};
  static constexpr int kAddressLabel = 0;
  static constexpr int kOkButton = 1;
  static constexpr int kCancelButton = 2;
  static constexpr int kAddressFieldChars = 60;

  SourceEditorForm(Prompts& prompts, std::string caption, std::string address, SourceKind kind)
      : prompts_(prompts), caption_(std::move(caption)), address_(std::move(address)), kind_(kind) {}

  void Start(SourceEditorView* view);
  void Accept();
  void Cancel();

  const std::string& caption() const { return caption_; }
  bool accepted() const { return accepted_; }
  const std::string& address() const { return address_; }
  SourceKind kind() const { return kind_; }

 private:
  Prompts& prompts_;
  SourceEditorView* view_ = nullptr;
  std::string caption_;
  std::string address_;
  SourceKind kind_;
  bool accepted_ = false;
};

// What AllowedNamesForm asks of the window that lists allow.txt.
class AllowedNamesView {
 public:
  virtual ~AllowedNamesView() = default;
  virtual void SetNames(const std::vector<std::string>& names) = 0;
  virtual int SelectedRow() const = 0;
  virtual void Close() = 0;
};

// The names of allow.txt, kept out of the lists by every update, and "Retirer" that takes
// the selected one out of the file (its other lines stay as they were).
class AllowedNamesForm {
 public:
  static constexpr const char* kCaption = "Noms autorises";
  // The captions of the buttons, "&" before each one's access key: "Retirer", then "Fermer",
  // the default button.
  static constexpr const char* kCaptions[] = {"&Retirer", "&Fermer"};
  static constexpr int kRemoveButton = 0;
  static constexpr int kCloseButton = 1;

  AllowedNamesForm(Platform& platform, Prompts& prompts, std::string allow_path)
      : platform_(platform), prompts_(prompts), allow_path_(std::move(allow_path)) {}

  void Start(AllowedNamesView* view);
  void RemoveSelected();
  void CloseWindow() { view_->Close(); }

 private:
  // The file's lines and, for each name shown, the line that holds it.
  void ReadNames();

  Platform& platform_;
  Prompts& prompts_;
  std::string allow_path_;
  AllowedNamesView* view_ = nullptr;
  std::vector<std::string> lines_;
  std::string line_end_;
  std::vector<size_t> name_lines_;
};

// `address` as a cell too narrow for it shows it: whole when `fits` says it fits, else cut in
// the middle, its start, "...", and its end from its last "/" or "\" (the file name), which
// loses its own start only when even "..." and it do not fit. UTF-8 sequences stay whole.
std::string AddressCutToFit(std::string_view address, const std::function<bool(std::string_view)>& fits);

// The words of a failed write of the sources file or allow.txt, shown to the user.
void ReportFileNotSaved(Prompts& prompts, const Status& status);

// Appends `line` to the text file at `path` (created with its folder when missing), as a
// line of its own, through a temporary file and a rename.
Status AppendLine(Platform& platform, const std::string& path, const std::string& line);

}  // namespace quorvale
