// Domain lists and the sort buffer: the two loads, "Trier", and the three saves of names and
// of the buffer.

#include <string>

#include "core/hosts_writer.h"
#include "core/sorting.h"
#include "forms/main_form.h"
#include "forms/texts.h"
#include "hosts/file_loads.h"
#include "platform/platform.h"

namespace quorvale {

bool MainForm::ConfirmOverwrite(const std::string& path) {
  if (!platform_.PathExists(path)) return true;
  if (ShowMessage(texts::kOverwrite, Prompts::Buttons::kOkCancel, Prompts::Icon::kNone, texts::kConfirmation) !=
      Prompts::Answer::kOk) {
    return false;
  }
  // A read-only file must become writable before it is replaced. When that is refused the
  // file cannot be written either: say so now rather than after more questions.
  const Status writable = platform_.SetAttributes(path, kAttrNormal);
  if (!writable.ok()) {
    ReportSaveFailed(writable);
    return false;
  }
  return true;
}

void MainForm::SaveFile(const std::string& path, const FileContents& contents) {
  // The lists and the buffer must not change while they are formatted and written, so the
  // window takes no input until the file is whole. The new file replaces the old one in one
  // step, so a failure at any point (folder not writable, disk full) leaves the old file as
  // it was.
  view_->SetWindowEnabled(false);
  const Status saved = platform_.WriteFileAtomicInPieces(path, contents);
  YieldNow();
  view_->SetWindowEnabled(true);
  if (saved.ok()) {
    ShowMessage(texts::kFileSaved, Prompts::Buttons::kOk, Prompts::Icon::kNone);
  } else {
    ReportSaveFailed(saved);
  }
}

void MainForm::LoadDomainList() {
  CommandScope scope(this);
  view_->SetWindowEnabled(false);
  current_file_ = ShowOpenDialog();
  YieldNow();
  if (!current_file_.empty()) {
    HideBehindProgress();
    // Only a file that is missing or whose attributes cannot be changed, or memory running
    // out, ends the load here: the parser itself takes an unreadable file as an empty one.
    // A load that ends half-way takes back what it had added.
    bool loaded = false;
    Status status;
    if (platform_.SetAttributes(current_file_, kAttrNormal).ok()) {
      SetStatus(texts::kLoading);
      session_.ResetRejectedLines();
      YieldNow();
      // An unreadable file loads as an empty one, whose line goes to the report.
      status = ParseDomainList(platform_, current_file_, session_, slice_yield_, kInputs);
      loaded = status.code() != ErrorCode::kNoMemory;
    }
    if (loaded) {
      ++files_loaded_;
      RefreshLists();
      SetStatus(LoadedCountText());
      // Unlike the HOSTS-format loads, the progress window goes first and the pause of about
      // a second follows, with the main window still hidden.
      CloseProgress();
      PauseAboutASecond();
      YieldNow();
      view_->SetWindowVisible(true);
      YieldNow();
      ShowReport();
    } else {
      CloseProgress();
      view_->SetWindowVisible(true);
      ReportOutOfMemory(status, current_file_);
    }
  }
  view_->SetWindowEnabled(true);
  if (session_.RowCount() > 0) EnableDataMenus();
}

void MainForm::LoadSortBuffer() {
  CommandScope scope(this);
  view_->SetWindowEnabled(false);
  current_file_ = ShowOpenDialog();
  YieldNow();
  // A missing file, attributes that cannot be changed, a file that cannot be read or an empty
  // file end the load quietly, memory running out with a message. A load that ends half-way
  // takes back the entries it had appended; those from earlier loads stay in the buffer.
  if (!current_file_.empty() && platform_.SetAttributes(current_file_, kAttrNormal).ok()) {
    SetStatus(texts::kLoading);
    const Status loaded = LoadDomainOnlyFile(platform_, current_file_, session_.SortArray, slice_yield_, kInputs);
    if (loaded.ok()) {
      ++files_loaded_;
      SetStatus(std::to_string(session_.SortArray.size()) + " Adresse(s) chargée(s)");
      CheckHostsLock(hosts_path_);
      SetEnabled(MainControl::kSortBufferButton, true);
    }
    ReportOutOfMemory(loaded, current_file_);
  }
  view_->SetWindowEnabled(true);
}

void MainForm::ExportDomains() {
  CommandScope scope(this);
  YieldNow();
  const std::string path = ShowSaveDialog();
  if (path.empty()) return;
  if (!ConfirmOverwrite(path)) return;
  // The old file stays whole until the new contents are ready: it is replaced only after the
  // question below, and not at all when the write fails.
  YieldNow();
  const bool include_comments =
      ShowMessage(texts::kIncludeComments, Prompts::Buttons::kYesNo, Prompts::Icon::kNone) == Prompts::Answer::kYes;
  YieldNow();
  // The window takes no input from the sort on; SaveFile gives it back.
  view_->SetWindowEnabled(false);
  session_.blocked.Sort(slice_yield_);
  const WriteOptions options = WriteOptionsFor(session_, include_comments);
  SaveFile(path, [&](const ByteSink& sink) { return FormatDomainExport(session_.blocked, options, sink); });
}

void MainForm::SaveSortedNames() {
  CommandScope scope(this);
  if (RefuseBeforeAnyLoad(texts::kLoadFirst)) return;
  const std::string path = ShowSaveDialog();
  if (path.empty()) return;
  if (!ConfirmOverwrite(path)) return;
  SaveFile(path, [this](const ByteSink& sink) { return FormatSortedNames(session_.SortArray, sink); });
}

void MainForm::SortBuffer() {
  CommandScope scope(this);
  if (RefuseBeforeAnyLoad("vous devez d'abord charger un ficher d'adresses!")) return;
  view_->SetWindowEnabled(false);
  SetStatus("Veuillez patienter...");
  YieldNow();
  // An empty buffer stays empty and still counts as sorted.
  SortAndDeduplicate(session_.SortArray, slice_yield_);
  YieldNow();
  SetStatus(std::to_string(session_.SortArray.size()) + " Adresses triees");
  SetEnabled(MainControl::kSaveSortedAsHostsButton, true);
  SetEnabled(MainControl::kReplaceHostsButton, true);
  SetEnabled(MainControl::kSaveSortedNamesButton, true);
  SetEnabled(MainControl::kReportButton, true);
  view_->SetWindowEnabled(true);
}

void MainForm::SaveSortedAsHosts() {
  CommandScope scope(this);
  const std::string path = ChooseHostsSaveTarget();
  if (path.empty()) return;
  const std::string date_text = platform_.LocalDateTimeText();
  // The buffer's entries are written whole: the descriptions question is not asked.
  const WriteOptions options = WriteOptionsFor(session_, /*include_comments=*/false);
  SaveFile(path, [&](const ByteSink& sink) {
    return FormatHostsFromArray(session_.SortArray, options, date_text, sink, slice_yield_);
  });
}

}  // namespace quorvale
