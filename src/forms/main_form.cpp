#include "forms/main_form.h"

#include "core/report.h"
#include "forms/about_form.h"
#include "forms/backups_form.h"
#include "forms/options_form.h"
#include "forms/progress_form.h"
#include "forms/texts.h"
#include "platform/platform.h"

namespace quorvale {

namespace {

// The pause of about a second: so many short sleeps, with the window served between them.
constexpr int kPauseSteps = 100;
constexpr int kPauseStepMs = 10;
// How long the progress window stays up after its pause.
constexpr int kProgressHoldMs = 200;
// Long loops let the window's events run when this much time has passed since the last time.
constexpr std::chrono::milliseconds kYieldSlice{10};

}  // namespace

CommandScope::CommandScope(MainForm* form) : form_(form) { ++form_->running_commands_; }

CommandScope::~CommandScope() {
  if (--form_->running_commands_ == 0 && form_->close_requested_) {
    form_->close_requested_ = false;
    form_->view_->Close();
  }
}

MainForm::MainForm(Platform& platform, Prompts& prompts)
    : platform_(platform), prompts_(prompts), backup_counts_(std::make_unique<BackupEntryCounts>()) {
  slice_yield_ = [this] { YieldSliced(); };
  last_yield_ = std::chrono::steady_clock::now();
  lock_caption_ = main_form_design::kLockCaption;
}

MainForm::~MainForm() = default;

void MainForm::Start(MainView* view) {
  view_ = view;
  YieldNow();
  hosts_path_ = platform_.HostsPath();
  YieldNow();
  SetStatus("Aucune adresse chargee");
  SetEnabled(MainControl::kResetItem, false);
  SetEnabled(MainControl::kReplaceHostsItem, false);
  SetEnabled(MainControl::kWhyItem, false);
}

void MainForm::SetStatus(const std::string& text) {
  status_text_ = text;
  view_->SetStatusText(text);
}

void MainForm::SetEnabled(MainControl control, bool enabled) { view_->SetControlEnabled(control, enabled); }

std::string MainForm::LoadedCountText() const { return std::to_string(session_.RowCount()) + " Adresse(s) chargée(s)"; }

void MainForm::YieldNow() {
  view_->ProcessEvents();
  last_yield_ = std::chrono::steady_clock::now();
}

void MainForm::YieldSliced() {
  if (std::chrono::steady_clock::now() - last_yield_ >= kYieldSlice) YieldNow();
}

void MainForm::RefreshLists() {
  // Order the rows now, offering yields, rather than on the first paint.
  session_.blocked.Sort(slice_yield_);
  view_->ListChanged(1);
  session_.redirected.Sort(slice_yield_);
  view_->ListChanged(2);
}

void MainForm::EnableDataMenus() {
  SetEnabled(MainControl::kSaveAsHostsItem, true);
  SetEnabled(MainControl::kExportDomainsItem, true);
  SetEnabled(MainControl::kResetItem, true);
  SetEnabled(MainControl::kReplaceHostsItem, true);
}

void MainForm::ShowProgress() {
  // Its close box is the main window's: the program ends once the command has.
  progress_ = std::make_unique<ProgressForm>(session_, [this] { (void)CloseRequested(); });
  progress_view_ = view_->OpenProgressWindow(*progress_);
}

void MainForm::CloseProgress() {
  progress_view_.reset();
  progress_.reset();
}

void MainForm::HideBehindProgress() {
  view_->SetWindowVisible(false);
  YieldNow();
  ShowProgress();
  YieldNow();
}

void MainForm::ComeBackFromProgress() {
  CloseProgress();
  YieldNow();
  RefreshLists();
  view_->SetWindowVisible(true);
}

void MainForm::PauseAboutASecond() {
  // A pending close ends the pause: nobody is left to watch it.
  for (int i = 0; i < kPauseSteps && !close_requested_; ++i) {
    YieldNow();
    platform_.Sleep(kPauseStepMs);
    YieldNow();
  }
}

void MainForm::HoldProgress() {
  PauseAboutASecond();
  if (close_requested_) return;
  platform_.Sleep(kProgressHoldMs);
  YieldNow();
}

Prompts::Answer MainForm::ShowMessage(const std::string& text, Prompts::Buttons buttons, Prompts::Icon icon,
                                      const std::string& title, const std::string& detail) {
  return prompts_.Message(text, buttons, icon, title.empty() ? texts::kTitle : title, detail);
}

void MainForm::ReportSaveFailed(const Status& status) {
  ShowMessage(texts::kSaveFailed, Prompts::Buttons::kOk, Prompts::Icon::kCritical, {}, SaveFailureDetail(status));
}

void MainForm::ReportOutOfMemory(const Status& status, const std::string& path) {
  if (status.code() != ErrorCode::kNoMemory) return;
  ShowMessage(texts::kNoMemory, Prompts::Buttons::kOk, Prompts::Icon::kCritical, {}, path);
}

std::string MainForm::ShowOpenDialog() { return ShowFileDialog(/*save=*/false); }

std::string MainForm::ShowSaveDialog() { return ShowFileDialog(/*save=*/true); }

std::string MainForm::ShowFileDialog(bool save) {
  const std::vector<FileFilter> filters = {{texts::kTextFiles, texts::kTextPattern},
                                           {texts::kAllFiles, texts::kAllPattern}};
  const std::string folder = GetAppFolder(platform_.ExecutablePath());
  return save ? prompts_.SaveFileName(texts::kTitle, folder, filters, &file_filter_index_)
              : prompts_.OpenFileName(texts::kTitle, folder, filters, &file_filter_index_);
}

void MainForm::ClearLists() {
  update_sources_path_.clear();
  YieldNow();
  session_.blocked.Clear();
  view_->ListChanged(1);
  YieldNow();
  session_.redirected.Clear();
  session_.allowed.Clear();
  view_->ListChanged(2);
  YieldNow();
}

bool MainForm::RefuseBeforeAnyLoad(const char* text) {
  if (files_loaded_ != 0) return false;
  ShowMessage(text, Prompts::Buttons::kOk, Prompts::Icon::kNone);
  return true;
}

void MainForm::Reset() {
  CommandScope scope(this);
  view_->SetWindowEnabled(false);
  ClearLists();
  SetEnabled(MainControl::kSaveAsHostsItem, false);
  SetEnabled(MainControl::kExportDomainsItem, false);
  SetEnabled(MainControl::kResetItem, false);
  SetEnabled(MainControl::kReplaceHostsItem, false);
  YieldNow();
  view_->SetWindowEnabled(true);
}

void MainForm::ShowAbout() {
  AboutForm about(platform_, prompts_);
  view_->RunAboutWindow(about);
}

void MainForm::Click(MainControl control) {
  switch (control) {
    case MainControl::kLoadSystemHostsItem:
      return LoadSystemHosts();
    case MainControl::kReplaceHostsItem:
      return ReplaceHosts();
    case MainControl::kLoadHostsFileItem:
      return LoadHostsFile();
    case MainControl::kSaveAsHostsItem:
      return SaveAsHosts();
    case MainControl::kLoadDomainListItem:
      return LoadDomainList();
    case MainControl::kExportDomainsItem:
      return ExportDomains();
    case MainControl::kResetItem:
      return Reset();
    case MainControl::kAboutItem:
      return ShowAbout();
    case MainControl::kFindItem:
      return Find();
    case MainControl::kRestoreBackupItem:
      return RestoreBackup();
    case MainControl::kSourcesItem:
      return ShowSources();
    case MainControl::kWhyItem:
      return ExplainSelectedName();
    case MainControl::kSortBufferButton:
      return SortBuffer();
    case MainControl::kSaveSortedAsHostsButton:
      return SaveSortedAsHosts();
    case MainControl::kLockButton:
      return ToggleLock();
    case MainControl::kLoadSortBufferButton:
      return LoadSortBuffer();
    case MainControl::kSaveSortedNamesButton:
      return SaveSortedNames();
    case MainControl::kReportButton:
      return ShowReport();
    case MainControl::kLoadFileButton:
    case MainControl::kReplaceHostsButton:
    case MainControl::kSpareButton:
      return;
  }
}

void MainForm::ColumnClick(int list_number, int column) {
  EntryList& list = list_number == 1 ? session_.blocked : session_.redirected;
  if (running_commands_ > 0) {
    // The click is dropped; a header that moved its arrow by itself shows the order again.
    view_->ShowSortOrder(list_number, list.sort_column(), list.sort_direction());
    return;
  }
  CommandScope scope(this);
  SortDirection direction = list.sort_direction();
  if (static_cast<int>(list.sort_column()) == column) {
    direction = direction == SortDirection::kAscending ? SortDirection::kDescending : SortDirection::kAscending;
  }
  list.SetSort(static_cast<Column>(column), direction);
  view_->SetWindowEnabled(false);
  list.Sort(slice_yield_);
  view_->ListChanged(list_number);
  view_->SetWindowEnabled(true);
  view_->ShowSortOrder(list_number, list.sort_column(), direction);
}

bool MainForm::CloseRequested() {
  if (running_commands_ > 0) {
    // A command is yielding; end the program as soon as it is done.
    close_requested_ = true;
    return false;
  }
  view_->SetWindowVisible(false);
  ClearLists();
  view_->Quit(0);
  return true;
}

}  // namespace quorvale
