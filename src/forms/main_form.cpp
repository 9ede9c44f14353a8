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

CommandScope::CommandScope(Form1* form) : form_(form) { ++form_->running_commands_; }

CommandScope::~CommandScope() {
  if (--form_->running_commands_ == 0 && form_->close_requested_) {
    form_->close_requested_ = false;
    form_->view_->Close();
  }
}

Form1::Form1(Platform& platform, Prompts& prompts)
    : platform_(platform), prompts_(prompts), backup_counts_(std::make_unique<BackupEntryCounts>()) {
  slice_yield_ = [this] { YieldSliced(); };
  last_yield_ = std::chrono::steady_clock::now();
  lock_caption_ = form1_design::kLockCaption;
}

Form1::~Form1() = default;

void Form1::Form_Load(Form1View* view) {
  view_ = view;
  YieldNow();
  HostsPath_ = platform_.HostsPath();
  YieldNow();
  SetStatus("Aucune adresse chargee");
  SetEnabled(Form1Control::kReset, false);
  SetEnabled(Form1Control::kReplaceHosts, false);
}

void Form1::SetStatus(const std::string& text) {
  status_text_ = text;
  view_->SetStatusText(text);
}

void Form1::SetEnabled(Form1Control control, bool enabled) { view_->SetControlEnabled(control, enabled); }

std::string Form1::LoadedCountText() const {
  return std::to_string(session_.RowCount()) + " Adresse(s) chargée(s)";
}

void Form1::YieldNow() {
  view_->ProcessEvents();
  last_yield_ = std::chrono::steady_clock::now();
}

void Form1::YieldSliced() {
  if (std::chrono::steady_clock::now() - last_yield_ >= kYieldSlice) YieldNow();
}

void Form1::RefreshLists() {
  // Order the rows now, offering yields, rather than on the first paint.
  session_.blocked.Sort(slice_yield_);
  view_->ListChanged(1);
  session_.redirected.Sort(slice_yield_);
  view_->ListChanged(2);
}

void Form1::EnableDataMenus() {
  SetEnabled(Form1Control::kSaveAs, true);
  SetEnabled(Form1Control::kExportDom, true);
  SetEnabled(Form1Control::kReset, true);
  SetEnabled(Form1Control::kReplaceHosts, true);
}

void Form1::ShowProgress() {
  progress_ = std::make_unique<Form3>(session_);
  progress_view_ = view_->OpenProgressWindow(*progress_);
}

void Form1::CloseProgress() {
  progress_view_.reset();
  progress_.reset();
}

void Form1::HideBehindProgress() {
  view_->SetWindowVisible(false);
  YieldNow();
  ShowProgress();
  YieldNow();
}

void Form1::ComeBackFromProgress() {
  CloseProgress();
  YieldNow();
  RefreshLists();
  view_->SetWindowVisible(true);
}

void Form1::PauseAboutASecond() {
  for (int i = 0; i < kPauseSteps; ++i) {
    YieldNow();
    platform_.Sleep(kPauseStepMs);
    YieldNow();
  }
}

void Form1::HoldProgress() {
  PauseAboutASecond();
  platform_.Sleep(kProgressHoldMs);
  YieldNow();
}

Prompts::Answer Form1::ShowMessage(const std::string& text, Prompts::Buttons buttons, Prompts::Icon icon,
                                   const std::string& title, const std::string& detail) {
  return prompts_.Message(text, buttons, icon, title.empty() ? texts::kTitle : title, detail);
}

void Form1::ReportSaveFailed(const Status& status) {
  ShowMessage(texts::kSaveFailed, Prompts::Buttons::kOk, Prompts::Icon::kCritical, {}, SaveFailureDetail(status));
}

void Form1::ReportOutOfMemory(const Status& status, const std::string& path) {
  if (status.code() != ErrorCode::kNoMemory) return;
  ShowMessage(texts::kNoMemory, Prompts::Buttons::kOk, Prompts::Icon::kCritical, {}, path);
}

std::string Form1::ShowOpenDialog() { return ShowFileDialog(/*save=*/false); }

std::string Form1::ShowSaveDialog() { return ShowFileDialog(/*save=*/true); }

std::string Form1::ShowFileDialog(bool save) {
  const std::vector<FileFilter> filters = {{texts::kTextFiles, texts::kTextPattern},
                                           {texts::kAllFiles, texts::kAllPattern}};
  const std::string folder = GetAppFolder(platform_.ExecutablePath());
  return save ? prompts_.SaveFileName(texts::kTitle, folder, filters, &file_filter_index_)
              : prompts_.OpenFileName(texts::kTitle, folder, filters, &file_filter_index_);
}

void Form1::ClearLists() {
  YieldNow();
  session_.blocked.Clear();
  view_->ListChanged(1);
  YieldNow();
  session_.redirected.Clear();
  view_->ListChanged(2);
  YieldNow();
}

bool Form1::RefuseBeforeAnyLoad(const char* text) {
  if (FilesLoaded_ != 0) return false;
  ShowMessage(text, Prompts::Buttons::kOk, Prompts::Icon::kNone);
  return true;
}

void Form1::Reset_Click() {
  CommandScope scope(this);
  view_->SetWindowEnabled(false);
  ClearLists();
  SetEnabled(Form1Control::kSaveAs, false);
  SetEnabled(Form1Control::kExportDom, false);
  SetEnabled(Form1Control::kReset, false);
  SetEnabled(Form1Control::kReplaceHosts, false);
  YieldNow();
  view_->SetWindowEnabled(true);
}

void Form1::Apropos_Click() {
  frmAbout about(platform_, prompts_);
  view_->RunAboutWindow(about);
}

void Form1::Click(Form1Control control) {
  switch (control) {
    case Form1Control::kOpenHostFile:
      return OpenHostFile_Click();
    case Form1Control::kReplaceHosts:
      return ReplaceHosts_Click();
    case Form1Control::kOuvrir:
      return Ouvrir_Click();
    case Form1Control::kSaveAs:
      return SaveAs_Click();
    case Form1Control::kChargerDom:
      return ChargerDom_Click();
    case Form1Control::kExportDom:
      return ExportDom_Click();
    case Form1Control::kReset:
      return Reset_Click();
    case Form1Control::kApropos:
      return Apropos_Click();
    case Form1Control::kRechercher:
      return Rechercher_Click();
    case Form1Control::kRestaurer:
      return Restaurer_Click();
    case Form1Control::kCommand2:
      return Command2_Click();
    case Form1Control::kCommand3:
      return Command3_Click();
    case Form1Control::kCommand5:
      return Command5_Click();
    case Form1Control::kCommand6:
      return Command6_Click();
    case Form1Control::kCommand7:
      return Command7_Click();
    case Form1Control::kCommand8:
      return Command8_Click();
    case Form1Control::kCommand1:
    case Form1Control::kCommand4:
    case Form1Control::kCommand9:
      return;
  }
}

void Form1::ColumnClick(int list_number, int column) {
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

bool Form1::CloseRequested() {
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
