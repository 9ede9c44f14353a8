#include "support/fake_views.h"

#include <gtest/gtest.h>

namespace quorvale::testing {

namespace {

// A progress window view that tells the main window's record when it goes.
class RecordedProgressView : public FakeProgressView {
 public:
  explicit RecordedProgressView(FakeMainView* owner) : FakeProgressView(&owner->log), owner_(owner) {}
  ~RecordedProgressView() override {
    owner_->progress = nullptr;
    owner_->progress_view = nullptr;
  }

 private:
  FakeMainView* owner_;
};

}  // namespace

void FakeBackupsView::SetEntries(int row, const std::string& text) {
  rows.at(row)[BackupsForm::kEntriesColumn] = text;
  entries_shown.push_back(std::to_string(row) + ":" + text);
}

void FakeSourcesView::SetCell(int row, int column, const std::string& text) {
  rows.at(row).cells.at(column) = text;
  if (column == SourcesForm::kStateColumn) cell_log.push_back(std::to_string(row) + ":" + text);
}

void FakeSourcesView::RunSourceEditor(SourceEditorForm& form) {
  struct View : SourceEditorView {
    Typed typed;
    bool closed = false;
    std::string Address() const override { return typed.address; }
    SourceKind Kind() const override { return typed.kind; }
    void SetAddress(const std::string& address) override { typed.address = address; }
    void SetKind(SourceKind kind) override { typed.kind = kind; }
    void Close() override { closed = true; }
  } view;
  form.Start(&view);
  editor_openings.push_back(form.caption() + "|" + view.typed.address + "|" +
                            SourceEditorForm::CaptionsOf(view.typed.kind).list_name);
  std::vector<Typed> inputs;
  if (!editor_inputs.empty()) {
    inputs = std::move(editor_inputs.front());
    editor_inputs.pop_front();
  }
  for (const Typed& typed : inputs) {
    if (view.closed) break;
    view.typed = typed;
    form.Accept();
  }
  if (!view.closed) form.Cancel();
}

void FakeSourcesView::RunAllowedNamesWindow(AllowedNamesForm& form) {
  struct View : AllowedNamesView {
    FakeSourcesView* owner;
    int selected = -1;
    void SetNames(const std::vector<std::string>& names) override { owner->allowed_shown.push_back(names); }
    int SelectedRow() const override { return selected; }
    void Close() override {}
  } view;
  view.owner = this;
  form.Start(&view);
  for (; !allowed_removals.empty(); allowed_removals.pop_front()) {
    view.selected = allowed_removals.front();
    form.RemoveSelected();
  }
  form.CloseWindow();
}

std::vector<std::string> FakeSourcesView::Lines() const {
  std::vector<std::string> lines;
  for (const Row& row : rows) {
    std::string line = row.malformed ? "bad" : row.enabled ? "on" : "off";
    for (const std::string& cell : row.cells) line += "|" + cell;
    lines.push_back(line);
  }
  return lines;
}

void FakeOptionsView::Click(OptionsBox box) {
  checked_[Index(box)] = !checked_[Index(box)];
  if (box == OptionsBox::kLoopbackAddress) form_.LoopbackBoxClicked();
  if (box == OptionsBox::kZeroAddress) form_.ZeroBoxClicked();
}

std::string FakeOptionsView::Checked() const {
  std::string text;
  for (const auto& [box, caption] :
       {std::pair{OptionsBox::kLoopbackAddress, "127.0.0.1"}, std::pair{OptionsBox::kZeroAddress, "0.0.0.0"},
        std::pair{OptionsBox::kWwwLines, "www"}}) {
    if (!IsChecked(box)) continue;
    if (!text.empty()) text += ',';
    text += caption;
  }
  return text;
}

FakeMainView::FakeMainView() {
  for (const main_form_design::ButtonDesign& button : main_form_design::kButtons) {
    enabled[Index(button.control)] = button.enabled;
    captions[Index(button.control)] = button.caption;
  }
  for (const main_form_design::MenuDesign& menu : main_form_design::kMenus) {
    for (int i = 0; i < menu.item_count; ++i) {
      enabled[Index(menu.items[i].control)] = true;
      captions[Index(menu.items[i].control)] = menu.items[i].caption;
    }
  }
}

void FakeMainView::SetWindowEnabled(bool enabled_now) {
  window_enabled = enabled_now;
  log.push_back(enabled_now ? "enabled" : "disabled");
}

void FakeMainView::SetWindowVisible(bool visible_now) {
  visible = visible_now;
  log.push_back(visible_now ? "shown" : "hidden");
}

void FakeMainView::ShowSortOrder(int list_number, Column column, SortDirection direction) {
  sort_order[list_number - 1] =
      std::to_string(static_cast<int>(column)) + " " + std::to_string(static_cast<int>(direction));
}

void FakeMainView::SelectRow(int list_number, size_t row) {
  selected = {};
  selected[list_number - 1] = {row};
  log.push_back("selected " + std::to_string(list_number) + " " + std::to_string(row));
}

void FakeMainView::ProcessEvents() {
  ++events_processed;
  if (progress != nullptr) {
    progress->Tick();
    progress_counts.push_back(progress_view->labels[1]);
  }
  if (pending_event) {
    std::function<void()> event = std::move(pending_event);
    pending_event = nullptr;
    event();
  }
}

void FakeMainView::Close() {
  log.push_back("close");
  if (form->CloseRequested()) log.push_back("closed");
}

void FakeMainView::RunOptionsWindow(OptionsForm& options) {
  log.push_back("options");
  FakeOptionsView view(options);
  options.Start(&view);
  if (options_scripts.empty()) {
    ADD_FAILURE() << "unexpected options window";
    return;
  }
  auto script = std::move(options_scripts.front());
  options_scripts.pop_front();
  script(options, view);
}

void FakeMainView::RunAboutWindow(AboutForm& about) {
  log.push_back("about");
  if (about_scripts.empty()) {
    ADD_FAILURE() << "unexpected about window";
    return;
  }
  auto script = std::move(about_scripts.front());
  about_scripts.pop_front();
  script(about);
}

void FakeMainView::RunSearchWindow(SearchForm& search) {
  log.push_back("search");
  // The find window as a record: what was typed, and the window closed.
  struct View : SearchView {
    std::string typed;
    std::string Text() const override { return typed; }
    void Close() override {}
  } view;
  search.Start(&view);
  if (search_texts.empty()) {
    ADD_FAILURE() << "unexpected find window";
    return;
  }
  view.typed = search_texts.front();
  search_texts.pop_front();
  if (view.typed.empty()) {
    search.Cancel();
  } else {
    search.Accept();
  }
}

void FakeMainView::RunBackupsWindow(BackupsForm& backups) {
  log.push_back("backups");
  FakeBackupsView view;
  backups.Start(&view);
  // Once on screen, the window lets the counting run.
  backups.CountEntries();
  if (backups_scripts.empty()) {
    ADD_FAILURE() << "unexpected backups window";
    return;
  }
  auto script = std::move(backups_scripts.front());
  backups_scripts.pop_front();
  script(backups, view);
}

void FakeMainView::RunSourcesWindow(SourcesForm& sources) {
  log.push_back("sources");
  FakeSourcesView view;
  sources.Start(&view);
  if (sources_scripts.empty()) {
    ADD_FAILURE() << "unexpected sources window";
    return;
  }
  auto script = std::move(sources_scripts.front());
  sources_scripts.pop_front();
  script(sources, view);
  sources.CloseWindow();
}

void FakeMainView::RunWhyWindow(WhyForm& why) {
  struct View : WhyView {
    void Close() override {}
  } view;
  why.Start(&view);
  why_shown.push_back(why.lines());
  why_offered.push_back(why.allow_offered());
  if (why_allow.empty()) {
    ADD_FAILURE() << "unexpected why window";
    return;
  }
  const bool allow = why_allow.front();
  why_allow.pop_front();
  if (allow) {
    why.Allow();
  } else {
    why.CloseWindow();
  }
}

std::unique_ptr<ProgressView> FakeMainView::OpenProgressWindow(ProgressForm& progress_form) {
  log.push_back("progress opened");
  auto view = std::make_unique<RecordedProgressView>(this);
  progress_form.Start(view.get());
  progress = &progress_form;
  progress_view = view.get();
  return view;
}

void ClickOk(OptionsForm& form, FakeOptionsView&) { form.Accept(); }

void ClickCancel(OptionsForm& form, FakeOptionsView&) { form.Cancel(); }

}  // namespace quorvale::testing
