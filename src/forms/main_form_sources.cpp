// The sources: their window, the update's load, and where a name comes from.

#include <string>
#include <vector>

#include "core/text.h"
#include "forms/main_form.h"
#include "forms/sources_form.h"
#include "forms/texts.h"
#include "forms/why_form.h"
#include "platform/platform.h"
#include "update/source_update.h"
#include "update/update_texts.h"

namespace quorvale {

void MainForm::ShowSources() {
  if (running_commands_ > 0) return;
  CommandScope scope(this);
  SourcesForm form(platform_, prompts_, *this, slice_yield_);
  view_->RunSourcesWindow(form);
  YieldNow();
}

bool MainForm::LoadSourcesUpdate(const UpdatePlaces& places, std::vector<SourceResult>& results) {
  ClearLists();
  SetStatus(texts::kLoading);
  size_t allowed = 0;
  const TakeShrunkFn ask = [this](const SourceResult& result) {
    const NewBody& body = result.new_body;
    return body.last_entries >= 0 &&
           prompts_.Message(SourcesForm::ShrinkQuestion(result.source.address, body.entries, body.last_entries),
                            Prompts::Buttons::kYesNo, Prompts::Icon::kNone, texts::kConfirmation,
                            {}) == Prompts::Answer::kYes;
  };
  const Status loaded = LoadUpdate(platform_, places, results, session_, slice_yield_, &allowed, ask);
  if (!loaded.ok()) {
    // Part of the sources may be in the lists: none of it may be written as if it were all.
    ClearLists();
    RowsRemoved();
    ShowMessage(UpdateLoadFailureText(loaded), Prompts::Buttons::kOk, Prompts::Icon::kCritical);
    return false;
  }
  update_sources_path_ = places.sources_path;
  RefreshLists();
  ++files_loaded_;
  RowsRemoved();
  if (session_.RowCount() > 0) EnableDataMenus();
  ShowReport();
  return true;
}

void MainForm::SelectionChanged() {
  SetEnabled(MainControl::kWhyItem, view_->SelectedRowCount(1) > 0 || view_->SelectedRowCount(2) > 0);
}

void MainForm::ExplainSelectedName() {
  if (running_commands_ > 0) return;
  std::string name;
  for (int list_number : {1, 2}) {
    const std::vector<size_t> rows = view_->SelectedRows(list_number);
    const EntryList& list = list_number == 1 ? session_.blocked : session_.redirected;
    if (name.empty() && !rows.empty() && rows.front() < list.size()) name = list.Name(rows.front());
  }
  if (name.empty()) return;
  CommandScope scope(this);
  const std::string folder = platform_.ConfigFolder();
  const std::string sources_path = folder + SourcesForm::kFileName;
  std::vector<std::string> lines;
  std::string error;
  bool in_own_file = false;
  view_->SetWindowEnabled(false);
  const bool explained =
      !folder.empty() && ExplainName(platform_, sources_path, name, &lines, &error, &in_own_file, slice_yield_);
  view_->SetWindowEnabled(true);
  if (!explained) {
    ShowMessage(folder.empty() ? std::string("pas de dossier de configuration") : error, Prompts::Buttons::kOk,
                Prompts::Icon::kCritical);
    if (lines.empty()) return;
  }
  WhyForm why(name, lines, !in_own_file);
  view_->RunWhyWindow(why);
  if (!why.allowed()) return;
  const Status added = AppendLine(platform_, PlacesOf(platform_, sources_path).allow_path, name);
  if (!added.ok()) {
    ReportFileNotSaved(prompts_, added);
    return;
  }
  const std::string key = AsciiLower(name);
  for (int list_number : {1, 2}) {
    EntryList& list = list_number == 1 ? session_.blocked : session_.redirected;
    if (list.RemoveRowsWhere([&](std::string_view row_name) { return AsciiLower(row_name) == key; }) > 0) {
      view_->ListChanged(list_number);
    }
  }
  RowsRemoved();
}

}  // namespace quorvale
