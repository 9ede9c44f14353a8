// The commands beyond the menus' first items: removing rows, finding a text and putting a
// backup copy of the HOSTS file back; and the text a list cell shows.

#include <algorithm>
#include <functional>
#include <utility>

#include "core/display_text.h"
#include "forms/backups_form.h"
#include "forms/main_form.h"
#include "forms/search_form.h"
#include "forms/texts.h"
#include "hosts/hosts_replace.h"

namespace quorvale {

void MainForm::DeleteSelectedRows(int list_number) {
  if (running_commands_ > 0) return;
  const std::vector<size_t> rows = view_->SelectedRows(list_number);
  if (rows.empty()) return;
  CommandScope scope(this);
  EntryList& list = list_number == 1 ? session_.blocked : session_.redirected;
  list.Sort(slice_yield_);
  (void)list.RemoveRows(rows);
  view_->ListChanged(list_number);
  RowsRemoved();
}

void MainForm::RowsRemoved() {
  SetStatus(LoadedCountText());
  if (session_.RowCount() == 0) {
    // Both lists are empty: the menus are as after "Reset".
    SetEnabled(MainControl::kSaveAsHostsItem, false);
    SetEnabled(MainControl::kExportDomainsItem, false);
    SetEnabled(MainControl::kResetItem, false);
    SetEnabled(MainControl::kReplaceHostsItem, false);
  }
}

void MainForm::Find() {
  if (running_commands_ > 0) return;
  CommandScope scope(this);
  SearchForm form;
  view_->RunSearchWindow(form);
  if (form.text().empty()) return;
  search_text_ = form.text();
  FindAndSelect(/*from_top=*/true);
}

void MainForm::FindNext() {
  if (running_commands_ > 0) return;
  if (search_text_.empty()) {
    Find();
    return;
  }
  CommandScope scope(this);
  FindAndSelect(/*from_top=*/false);
}

void MainForm::FindAndSelect(bool from_top) {
  EntryList* lists[] = {&session_.blocked, &session_.redirected};
  for (EntryList* list : lists) list->Sort(slice_yield_);
  // Where the search starts: after the first selected row, list 1 before list 2.
  int start_list = 0;
  size_t start_row = kNoRow;
  for (int i = 0; i < 2 && start_row == kNoRow && !from_top; ++i) {
    const std::vector<size_t> selected = view_->SelectedRows(i + 1);
    if (!selected.empty()) {
      start_list = i;
      start_row = selected.front();
    }
  }
  // The two lists as one ring of rows: the rest of the start list, the other list, then the
  // start list from its top up to the selected row itself.
  struct Stretch {
    int list;
    size_t begin;
    size_t end;
  };
  const int other = 1 - start_list;
  const size_t after = start_row == kNoRow ? 0 : start_row + 1;
  const Stretch ring[] = {{start_list, after, lists[start_list]->size()},
                          {other, 0, lists[other]->size()},
                          {start_list, 0, std::min(after, lists[start_list]->size())}};
  const AnsiToUtf8Fn ansi_to_utf8 = std::bind_front(&Platform::AnsiToUtf8, &platform_);
  for (const Stretch& stretch : ring) {
    const size_t row = lists[stretch.list]->FindText(search_text_, stretch.begin, stretch.end, ansi_to_utf8);
    if (row != kNoRow) {
      view_->SelectRow(stretch.list + 1, row);
      return;
    }
  }
  ShowMessage("Aucune entree ne contient « " + search_text_ + " ».", Prompts::Buttons::kOk, Prompts::Icon::kNone);
}

std::string MainForm::CellText(int list_number, int row, int column) const {
  const EntryList& list = list_number == 1 ? session_.blocked : session_.redirected;
  if (list.sorting() || row < 0 || static_cast<size_t>(row) >= list.size() || column < 0 ||
      column >= main_form_design::kColumnCount) {
    return {};
  }
  return ShownText(list.Text(static_cast<size_t>(row), static_cast<Column>(column)),
                   std::bind_front(&Platform::AnsiToUtf8, &platform_));
}

void MainForm::HostsMenuOpening() {
  SetEnabled(MainControl::kRestoreBackupItem, !ListHostsBackups(platform_, platform_.HostsPath()).empty());
}

void MainForm::RestoreBackup() {
  if (running_commands_ > 0) return;
  CommandScope scope(this);
  BackupsForm form(platform_, prompts_, platform_.HostsPath(), *backup_counts_, slice_yield_);
  view_->RunBackupsWindow(form);
  YieldNow();
}

}  // namespace quorvale
