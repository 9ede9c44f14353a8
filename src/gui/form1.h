#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/byte_sink.h"
#include "core/item_reader.h"
#include "core/session.h"
#include "core/status.h"
#include "core/yield.h"
#include "gui/prompts.h"
#include "gui/report_list_view.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace quorvale {

class EntryModel;
class Form3;
class Platform;

// The main window: the two lists, the status text, the menus and the button column. It owns
// the Session for the whole run. The command handlers are public so that the menus, the
// buttons and the tests run the same code.
class Form1 : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr const char* kTitle = "Quorvale";

  Form1(Platform& platform, Prompts& prompts, QWidget* parent = nullptr);
  ~Form1() override;

  Session& session() { return session_; }
  const std::string& HostsPath() const { return HostsPath_; }
  const std::string& CurrentFile() const { return CurrentFile_; }
  int FilesLoaded() const { return FilesLoaded_; }
  QString StatusText() const;

  // Menu "Hosts".
  void OpenHostFile_Click();
  void ReplaceHosts_Click();
  // Menu "Fichier".
  void Ouvrir_Click();
  void SaveAs_Click();
  void ChargerDom_Click();
  void ExportDom_Click();
  // Top-level menu items.
  void Reset_Click();
  void Apropos_Click();
  // Buttons.
  void Command2_Click();  // "Trier"
  void Command3_Click();  // the sort buffer as a HOSTS file
  void Command5_Click();  // lock or unlock the HOSTS file
  void Command6_Click();  // load a domain-only file into the sort buffer
  void Command7_Click();  // the sort buffer as names
  void Command8_Click();  // the report of rejected lines
  // A click on a column header of list 1 or 2 (0-based column).
  void ColumnClick(int list_number, int column);

  // The open and save dialogs; they share the last chosen filter. "" on cancel.
  QString ShowOpenDialog(const QString& description, const QString& pattern);
  QString ShowSaveDialog(const QString& description, const QString& pattern);

  // Probes the HOSTS file and sets the lock button's caption.
  void CheckHostsLock(const std::string& path);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  friend class CommandScope;

  void BuildWindow();
  void BuildMenus();
  void BuildButtons();
  ReportListView* BuildList(const char* name, EntryModel* model, int list_number);

  // Runs the event loop once, as the explicit yields of the commands do.
  void YieldNow();
  // For long loops: runs the event loop when about 10 ms have passed since the last time.
  void YieldSliced();

  // Starts the access-control tool to deny (mode 0) or grant (mode 1) `user` full control
  // of `path`, then waits the tool's fixed time. Fails only when the tool cannot be started.
  Status SetFileAccess(const std::string& path, const std::string& user, int mode);

  // Shows a fresh options window and waits for it. True when it was left with "OK", or closed
  // with its close box after an earlier "OK" of the run (the earlier choice then stands).
  bool RunOptionsWindow();
  // Asks whether the descriptions go in and hands `write` the contents of both lists with the
  // options of the last "OK", formatted as they are written, after the header and
  // `carried_lines` (the lines kept from a replaced HOSTS file). From the answer until `write`
  // returns, the window takes no input, so the lists cannot change under the writer.
  Status WriteHostsFile(const std::function<Status(const FileContents&)>& write,
                        std::vector<std::string> carried_lines = {});

  void SetStatus(const QString& text);
  // Empties both lists, yielding around each, as Reset and the close do.
  void ClearLists();
  // Shows `text` and returns true while no load has completed yet.
  bool RefuseBeforeAnyLoad(const QString& text);
  QString LoadedCountText() const;
  void RefreshLists();
  void EnableDataMenus();
  void ShowProgress();
  void CloseProgress();
  // Hides the main window behind a fresh progress window, and the way back.
  void HideBehindProgress();
  void ComeBackFromProgress();
  // 100 times: yield, wait 10 ms, yield.
  void PauseAboutASecond();
  // Keeps the progress window up after a HOSTS-format load: the pause above, then 200 ms.
  void HoldProgress();
  // For the saves of names and of the sort buffer: asks before an existing file is replaced
  // and makes it writable; false when the save must stop (refused, or the file cannot be made
  // writable, which has been reported).
  bool ConfirmOverwrite(const std::string& path);
  // Writes the file (formatted as it goes out, replacing the old one in one step) and tells
  // the user whether it was saved.
  void SaveFile(const std::string& path, const FileContents& contents);
  QString FileDialogFolder() const;
  QString FileDialogTitle() const;
  // A message box; `title` defaults to the program's title.
  Prompts::Answer ShowMessage(const QString& text, Prompts::Buttons buttons, Prompts::Icon icon,
                              const QString& title = QString::fromLatin1(kTitle), const QString& detail = QString());
  // Tells the user that the load of `path` ran out of memory, when `status` says so.
  void ReportOutOfMemory(const Status& status, const std::string& path);

  // The window loads regular files only: a device or a named pipe may never end.
  static constexpr InputKinds kInputs = InputKinds::kRegularFiles;

  Platform& platform_;
  Prompts& prompts_;
  Session session_;
  YieldFn slice_yield_;
  QElapsedTimer since_yield_;

  std::string HostsPath_;
  std::string CurrentFile_;
  int FilesLoaded_ = 0;
  int file_filter_index_ = 0;
  int running_commands_ = 0;
  bool close_requested_ = false;

  EntryModel* model1_ = nullptr;
  EntryModel* model2_ = nullptr;
  ReportListView* ListView1_ = nullptr;
  ReportListView* ListView2_ = nullptr;
  QLabel* Label1_ = nullptr;
  std::unique_ptr<Form3> progress_;

  QMenu* HostsOperation_ = nullptr;
  QMenu* Menu_ = nullptr;
  QAction* OpenHostFile_ = nullptr;
  QAction* ReplaceHosts_ = nullptr;
  QAction* Ouvrir_ = nullptr;
  QAction* SaveAs_ = nullptr;
  QAction* ChargerDom_ = nullptr;
  QAction* ExportDom_ = nullptr;
  QAction* Reset_ = nullptr;
  QAction* Apropos_ = nullptr;

  QPushButton* Command1_ = nullptr;
  QPushButton* Command2_ = nullptr;
  QPushButton* Command3_ = nullptr;
  QPushButton* Command4_ = nullptr;
  QPushButton* Command5_ = nullptr;
  QPushButton* Command6_ = nullptr;
  QPushButton* Command7_ = nullptr;
  QPushButton* Command8_ = nullptr;
  QPushButton* Command9_ = nullptr;
};

// Marks a command as running for its whole scope, so that a close asked for in the middle
// of it (during a yield) waits until the command has ended.
class CommandScope {
 public:
  explicit CommandScope(Form1* form);
  ~CommandScope();

 private:
  Form1* form_;
};

}  // namespace quorvale
