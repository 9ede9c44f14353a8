#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/access_command.h"
#include "core/byte_sink.h"
#include "core/item_reader.h"
#include "core/session.h"
#include "core/status.h"
#include "core/yield.h"
#include "forms/main_form_design.h"
#include "forms/prompts.h"
#include "hosts/hosts_replace.h"

namespace quorvale {

class BackupEntryCounts;
class BackupsForm;
class OptionsForm;
class ProgressForm;
class ProgressView;
class AboutForm;
class Platform;
class SearchForm;
class SourcesForm;
class WhyForm;
struct KeptRedirections;
struct SourceResult;
struct UpdatePlaces;

// What MainForm asks of the main window of a window program. The view shows what it is told
// and reports what the user does (menu items, buttons, header clicks, the close box) by
// calling MainForm's handlers.
class MainView {
 public:
  virtual ~MainView() = default;

  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetControlEnabled(MainControl control, bool enabled) = 0;
  virtual void SetControlCaption(MainControl control, const std::string& caption) = 0;
  // The whole window: while disabled it takes no input.
  virtual void SetWindowEnabled(bool enabled) = 0;
  virtual void SetWindowVisible(bool visible) = 0;
  // The rows of list 1 or 2 changed (count, order or contents); the view reads them again
  // from the Session.
  virtual void ListChanged(int list_number) = 0;
  // Where list 1 or 2 shows its order (the header's arrow).
  virtual void ShowSortOrder(int list_number, Column column, SortDirection direction) = 0;
  // The selected rows of list 1 or 2, as places of the display order, in order.
  virtual std::vector<size_t> SelectedRows(int list_number) const = 0;
  // How many rows of list 1 or 2 are selected, at a cost that does not grow with their number
  // (a selection change of a million rows must not wait for them to be listed).
  virtual size_t SelectedRowCount(int list_number) const = 0;
  // Selects this row alone in both lists and scrolls it into view.
  virtual void SelectRow(int list_number, size_t row) = 0;
  // Lets the pending events (paints, clicks, timers) run once.
  virtual void ProcessEvents() = 0;
  // Asks the window to close as its close box does; the answer comes back through
  // MainForm::CloseRequested.
  virtual void Close() = 0;
  // Ends the program's event loop with `exit_code`.
  virtual void Quit(int exit_code) = 0;

  // The other windows, modal for OptionsForm and AboutForm (these return when it closes), modeless
  // for ProgressForm (shown centred until the returned view is destroyed).
  virtual void RunOptionsWindow(OptionsForm& form) = 0;
  virtual void RunAboutWindow(AboutForm& form) = 0;
  virtual void RunSearchWindow(SearchForm& form) = 0;
  virtual void RunBackupsWindow(BackupsForm& form) = 0;
  virtual void RunSourcesWindow(SourcesForm& form) = 0;
  virtual void RunWhyWindow(WhyForm& form) = 0;
  virtual std::unique_ptr<ProgressView> OpenProgressWindow(ProgressForm& form) = 0;
};

// The main window's behaviour: the two lists, the status text, the menus and the button
// column, and every command they start. It owns the Session for the whole run. The handlers
// are public so that the menus, the buttons and the tests run the same code.
class MainForm {
 public:
  MainForm(Platform& platform, Prompts& prompts);
  ~MainForm();
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;

  // The window's first steps, once the view is built: where the HOSTS file is, and the empty
  // lists' state.
  void Start(MainView* view);

  Session& session() { return session_; }
  const Session& session() const { return session_; }
  Platform& platform() { return platform_; }
  // The text, in UTF-8, that cell (`row`, `column`) of list 1 or 2 shows for the bytes of its
  // name, comment or address: "" outside the list's rows and columns, and while the list is
  // being sorted (its order is not to be read then, though a yield may repaint it).
  std::string CellText(int list_number, int row, int column) const;

  // Menu "Hosts".
  void LoadSystemHosts();
  void ReplaceHosts();
  // Menu "Fichier".
  void LoadHostsFile();
  void SaveAsHosts();
  void LoadDomainList();
  void ExportDomains();
  // Top-level menu items.
  void Reset();
  void ShowAbout();
  // Buttons.
  void SortBuffer();         // "Trier"
  void SaveSortedAsHosts();  // the sort buffer as a HOSTS file
  void ToggleLock();         // lock or unlock the HOSTS file
  void LoadSortBuffer();     // load a domain-only file into the sort buffer
  void SaveSortedNames();    // the sort buffer as names
  void ShowReport();         // the report of rejected lines
  // The user chose the menu item or clicked the button `control`: runs its handler. The load,
  // replace and spare buttons have none and do nothing.
  void Click(MainControl control);
  // A click on a column header of list 1 or 2 (0-based column). Dropped while a command
  // runs; the header's arrow is then shown where the order is.
  void ColumnClick(int list_number, int column);
  // The close box: true when the window may close now (the lists are emptied and the program
  // ends); false while a command runs, which closes the window once it has ended.
  bool CloseRequested();

  // The Delete key in list 1 or 2: its selected rows go. Ignored while a command runs.
  void DeleteSelectedRows(int list_number);
  // "Rechercher..." (and Ctrl+F): asks for a text, then selects the first row whose name or
  // description, as the list shows it, contains it (ASCII letters without regard to case), in
  // display order, list 1 before list 2.
  void Find();
  // F3: the next row after the selected one (from the top when none is), wrapping round;
  // without an earlier text, as "Rechercher...".
  void FindNext();
  // The "Hosts" menu opens: "Restaurer une sauvegarde..." is enabled when the HOSTS file has
  // at least one backup copy.
  void HostsMenuOpening();
  void RestoreBackup();
  // "Sources...": the Sources window.
  void ShowSources();
  // The selected rows changed (or the lists did): "Pourquoi ce nom ?" is enabled when a row
  // is selected.
  void SelectionChanged();
  // "Pourquoi ce nom ?": where the first selected name comes from, as the sources and their
  // cached copies say; from there "Autoriser ce nom" adds it to allow.txt and takes its rows
  // out of both lists.
  void ExplainSelectedName();
  // The end of the Sources window's update: the lists are emptied and filled from own.txt,
  // the copies of `results` and allow.txt, as one load (status text, the menus that need
  // data, the report of rejected lines once). A new copy that holds less than half the
  // entries of the last one (or none) is taken only when the user says so. A load that fails
  // (own.txt or allow.txt cannot be read, memory runs out) takes back what it had added and
  // says why: the lists stay empty, the menus as after "Reset". False then.
  bool LoadSourcesUpdate(const UpdatePlaces& places, std::vector<SourceResult>& results);
  // Files dropped on the window load one after the other as "Charger un fichier (format
  // Hosts)" loads the file chosen in its dialog; the report runs once, after the last one,
  // over the lines all of them rejected. Ignored while a command runs.
  void LoadDroppedFiles(const std::vector<std::string>& paths);

  // Probes the HOSTS file and sets the lock button's caption.
  void CheckHostsLock(const std::string& path);

 private:
  friend class CommandScope;

  // Lets the window's events run once, as the explicit yields of the commands do.
  void YieldNow();
  // For long loops: lets the events run when about 10 ms have passed since the last time.
  void YieldSliced();

  void SetStatus(const std::string& text);
  void SetEnabled(MainControl control, bool enabled);
  // Starts the access-control tool with `command`, then waits the tool's fixed time. Fails
  // only when the tool cannot be started.
  Status SetFileAccess(const AccessCommand& command);
  // Shows a fresh options window and waits for it. True when it was left with "OK", or closed
  // with its close box after an earlier "OK" of the run (the earlier choice then stands).
  bool RunOptionsWindow();
  // Asks whether the descriptions go in and hands `write` the maker of the contents of both
  // lists with the options of the last "OK", formatted as they are written, after the header
  // and the carried lines it is given (the lines kept from a replaced HOSTS file). From the
  // answer until `write` returns, the window takes no input, so the lists cannot change under
  // the writer.
  Status WriteHostsFile(const std::function<Status(const ReplacementContents&)>& write);
  // The replace's steps after the options window when the helper writes the file.
  void ReplaceThroughHelper(const std::string& path);
  // While the lists are an update's, before they replace the HOSTS file at `path`: the current
  // file's redirections that they would drop join them (KeepCurrentRedirections).
  KeptRedirections KeepCurrentRedirections(const std::string& path);
  // After that replace: the kept lines go into own.txt when it was `replaced`, else leave the
  // lists again. The line that says what became of them before `detail` (`detail` alone when
  // none was kept).
  std::string SaveKeptRedirections(const KeptRedirections& kept, bool replaced, const std::string& detail);
  // The steps shared by the two saves in the HOSTS format: refused before any load, the
  // options window, the save dialog and the overwrite question. The path, or "" when the
  // save stops.
  std::string ChooseHostsSaveTarget();
  // Clears the attributes of current_file_ before a HOSTS load reads it. False when the load
  // must end (the file is missing, say); a refusal for lack of rights (a standard user, a
  // file of the system's) does not stop a command that only reads.
  bool ClearAttributesBeforeRead();
  // Reads current_file_ in the HOSTS format into the lists, its unusable lines becoming the
  // rejected lines, with "Chargement en cours..." shown meanwhile.
  Status ParseCurrentHostsFile();
  // Loads current_file_ as "Charger un fichier (format Hosts)" does once its dialog has given
  // it, behind the progress window; true when the file was read to its end.
  bool LoadChosenHostsFile();
  // Selects the first row whose name contains `search_text_`, from the top of list 1 or after
  // the selected row, going round both lists; says so when none does.
  void FindAndSelect(bool from_top);
  // Empties both lists, yielding around each, as Reset and the close do.
  void ClearLists();
  // Shows `text` and returns true while no load has completed yet.
  bool RefuseBeforeAnyLoad(const char* text);
  std::string LoadedCountText() const;
  // After rows went: the status text, and the menus as after "Reset" once both lists are empty.
  void RowsRemoved();
  void RefreshLists();
  void EnableDataMenus();
  void ShowProgress();
  void CloseProgress();
  // Hides the main window behind a fresh progress window, and the way back.
  void HideBehindProgress();
  void ComeBackFromProgress();
  // 100 times: yield, wait 10 ms, yield; cut short once a close is pending.
  void PauseAboutASecond();
  // Keeps the progress window up after a HOSTS-format load: the pause above, then 200 ms
  // (none of it once a close is pending).
  void HoldProgress();
  // For the saves of names and of the sort buffer: asks before an existing file is replaced
  // and makes it writable; false when the save must stop (refused, or the file cannot be made
  // writable, which has been reported).
  bool ConfirmOverwrite(const std::string& path);
  // Writes the file (formatted as it goes out, replacing the old one in one step) with the
  // window disabled, and tells the user whether it was saved.
  void SaveFile(const std::string& path, const FileContents& contents);
  // The open and save dialogs over text files; they share the last chosen filter. "" on
  // cancel.
  std::string ShowOpenDialog();
  std::string ShowSaveDialog();
  std::string ShowFileDialog(bool save);
  // A message box with the program's title unless `title` is given.
  Prompts::Answer ShowMessage(const std::string& text, Prompts::Buttons buttons, Prompts::Icon icon,
                              const std::string& title = {}, const std::string& detail = {});
  // The folder the report goes to first, ending with a separator; "" when there is none.
  std::string ReportFolder();
  // Tells the user that a file could not be written, with the system's reason from `status`.
  void ReportSaveFailed(const Status& status);
  // Tells the user that the load of `path` ran out of memory, when `status` says so.
  void ReportOutOfMemory(const Status& status, const std::string& path);

  // The window loads regular files only: a device or a named pipe may never end.
  static constexpr InputKinds kInputs = InputKinds::kRegularFiles;
  // The access-control tool's file name ("subinacl", with ".exe" on Windows).
  static const char* const kAccessToolFile;

  Platform& platform_;
  Prompts& prompts_;
  MainView* view_ = nullptr;
  Session session_;
  YieldFn slice_yield_;
  std::chrono::steady_clock::time_point last_yield_;
  std::unique_ptr<ProgressForm> progress_;
  std::unique_ptr<ProgressView> progress_view_;
  // The backups window's counts, kept from one opening to the next.
  std::unique_ptr<BackupEntryCounts> backup_counts_;

  std::string hosts_path_;
  std::string current_file_;
  // The sources file whose update the lists hold since their last clearing; "" for none.
  std::string update_sources_path_;
  int files_loaded_ = 0;
  std::string status_text_;
  std::string lock_caption_;
  // The file dialogs' record: the filter chosen last, preselected in the next one.
  int file_filter_index_ = 0;
  // The last text looked for, for F3.
  std::string search_text_;
  int running_commands_ = 0;
  bool close_requested_ = false;
};

// Marks a command as running for its whole scope, so that a close asked for in the middle
// of it (during a yield) waits until the command has ended.
class CommandScope {
 public:
  explicit CommandScope(MainForm* form);
  ~CommandScope();
  CommandScope(const CommandScope&) = delete;
  CommandScope& operator=(const CommandScope&) = delete;

 private:
  MainForm* form_;
};

}  // namespace quorvale
