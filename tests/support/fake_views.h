#pragma once

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "forms/about_form.h"
#include "forms/backups_form.h"
#include "forms/main_form.h"
#include "forms/options_form.h"
#include "forms/progress_form.h"
#include "forms/search_form.h"
#include "forms/sources_form.h"
#include "forms/why_form.h"

namespace quorvale::testing {

// The options window as a record of its boxes; Click is the user's click on a box.
class FakeOptionsView : public OptionsView {
 public:
  explicit FakeOptionsView(OptionsForm& form) : form_(form) {}

  bool IsChecked(OptionsBox box) const override { return checked_[Index(box)]; }
  void SetChecked(OptionsBox box, bool checked) override { checked_[Index(box)] = checked; }
  void Close() override { closed = true; }

  // The box changes its state, then the click is reported, as a real box does.
  void Click(OptionsBox box);
  // "127.0.0.1,0.0.0.0,www": the checked boxes' captions, in that order.
  std::string Checked() const;

  bool closed = false;

 private:
  static int Index(OptionsBox box) { return static_cast<int>(box); }
  OptionsForm& form_;
  std::array<bool, 3> checked_{};
};

// The progress window as a record of its labels.
class FakeProgressView : public ProgressView {
 public:
  explicit FakeProgressView(std::vector<std::string>* log) : log_(log) {}
  ~FakeProgressView() override { log_->push_back("progress closed"); }
  void SetLabelText(int label_number, const std::string& text) override {
    labels[label_number == 1 ? 0 : 1] = text;
  }
  std::array<std::string, 2> labels;

 private:
  std::vector<std::string>* log_;
};

// The backups window as a record of its rows; the first one is selected, as it opens.
class FakeBackupsView : public BackupsView {
 public:
  void SetRows(const std::vector<std::array<std::string, 3>>& shown) override {
    rows = shown;
    selected = rows.empty() ? -1 : 0;
  }
  void SetEntries(int row, const std::string& text) override;
  int SelectedRow() const override { return selected; }
  void Close() override { closed = true; }

  std::vector<std::array<std::string, 3>> rows;
  std::vector<std::string> entries_shown;  // "row:text" of each count shown after the opening
  int selected = -1;
  bool closed = false;
};

// The Sources window as a record of its rows and buttons, with scripts for its own windows.
class FakeSourcesView : public SourcesView {
 public:
  // What is typed in the source editor before each "OK", one list per opening; when none is
  // accepted the editor is left with "Annuler".
  struct Typed {
    std::string address;
    SourceKind kind = SourceKind::kHosts;
  };
  void SetRows(const std::vector<Row>& shown) override { rows = shown; }
  void SetCell(int row, int column, const std::string& text) override;
  int SelectedRow() const override { return selected; }
  void SetControlEnabled(SourcesControl control, bool on) override { enabled[static_cast<int>(control)] = on; }
  void SetDailyChecked(bool checked) override { daily.push_back(checked); }
  void SetSummary(const std::string& text) override { summary = text; }
  void RunSourceEditor(SourceEditorForm& form) override;
  void RunAllowedNamesWindow(AllowedNamesForm& form) override;
  void Close() override { closed = true; }
  // "on|address|kind|date|state|entries" per row ("off" for a source switched off, "bad" for a
  // malformed line).
  std::vector<std::string> Lines() const;

  std::vector<Row> rows;
  int selected = -1;
  std::array<bool, kSourcesControlCount> enabled{};
  bool closed = false;
  std::vector<bool> daily;  // each state the daily box was set to
  std::string summary;
  std::deque<std::vector<Typed>> editor_inputs;
  std::vector<std::string> editor_openings;  // "caption|address|kind" as each editor opened
  // The allowed-names window: the rows to remove in turn (each then the first shown), and
  // what it showed at each step.
  std::deque<int> allowed_removals;
  std::vector<std::vector<std::string>> allowed_shown;
  std::vector<std::string> cell_log;  // "row:text" of each state cell set during an update
};

// The main window as a record of what MainForm told it, with scripts for the other windows.
// Every change of the window's state goes to `log` in order ("disabled", "hidden", "list 1",
// "progress opened", ...), so tests can check what happened when.
class FakeMainView : public MainView {
 public:
  FakeMainView();

  void SetStatusText(const std::string& text) override { status = text; }
  void SetControlEnabled(MainControl control, bool on) override { enabled[Index(control)] = on; }
  void SetControlCaption(MainControl control, const std::string& caption) override {
    captions[Index(control)] = caption;
  }
  void SetWindowEnabled(bool enabled) override;
  void SetWindowVisible(bool visible) override;
  void ListChanged(int list_number) override { log.push_back("list " + std::to_string(list_number)); }
  void ShowSortOrder(int list_number, Column column, SortDirection direction) override;
  std::vector<size_t> SelectedRows(int list_number) const override { return selected[list_number - 1]; }
  size_t SelectedRowCount(int list_number) const override { return selected[list_number - 1].size(); }
  void SelectRow(int list_number, size_t row) override;
  void ProcessEvents() override;
  void Close() override;
  void Quit(int code) override { exit_code = code; }
  void RunOptionsWindow(OptionsForm& form) override;
  void RunAboutWindow(AboutForm& form) override;
  void RunSearchWindow(SearchForm& form) override;
  void RunBackupsWindow(BackupsForm& form) override;
  void RunSourcesWindow(SourcesForm& form) override;
  void RunWhyWindow(WhyForm& form) override;
  std::unique_ptr<ProgressView> OpenProgressWindow(ProgressForm& form) override;

  bool IsEnabled(MainControl control) const { return enabled[Index(control)]; }
  const std::string& Caption(MainControl control) const { return captions[Index(control)]; }

  MainForm* form = nullptr;
  std::string status;
  std::array<bool, kMainControlCount> enabled{};
  std::array<std::string, kMainControlCount> captions;
  bool window_enabled = true;
  bool visible = true;
  // "list column direction" per list, as the headers show it.
  std::array<std::string, 2> sort_order = {"0 0", "0 0"};
  // The selected rows of each list, as the user left them or SelectRow set them.
  std::array<std::vector<size_t>, 2> selected;
  std::vector<std::string> log;
  int events_processed = 0;
  int exit_code = -1;
  // The progress window while it is open; each ProcessEvents ticks its timer.
  ProgressForm* progress = nullptr;
  FakeProgressView* progress_view = nullptr;
  std::vector<std::string> progress_counts;  // Label2 after each tick

  // What the user does in the options and about windows, one script per opening; an opening
  // without a script fails the test and leaves the window by its close box.
  std::deque<std::function<void(OptionsForm&, FakeOptionsView&)>> options_scripts;
  std::deque<std::function<void(AboutForm&)>> about_scripts;
  // The texts typed in the find window, one per opening, left with "OK" ("" : "Annuler").
  std::deque<std::string> search_texts;
  std::deque<std::function<void(BackupsForm&, FakeBackupsView&)>> backups_scripts;
  std::deque<std::function<void(SourcesForm&, FakeSourcesView&)>> sources_scripts;
  // The lines each "Pourquoi ce nom ?" window showed, and whether "Autoriser ce nom" is
  // clicked in it (one per opening).
  std::vector<std::vector<std::string>> why_shown;
  std::deque<bool> why_allow;  // "Autoriser ce nom" (pressed even when not offered), else "Fermer"
  std::vector<bool> why_offered;
  // Runs once at the next ProcessEvents, as a click that waits in the event queue.
  std::function<void()> pending_event;

 private:
  static int Index(MainControl control) { return static_cast<int>(control); }
};

// OptionsForm scripts for the common answers.
void ClickOk(OptionsForm& form, FakeOptionsView& view);
void ClickCancel(OptionsForm& form, FakeOptionsView& view);

}  // namespace quorvale::testing
