#include "support/fake_views.h"

#include <gtest/gtest.h>

namespace quorvale::testing {

namespace {

// A progress window view that tells the main window's record when it goes.
class RecordedForm3View : public FakeForm3View {
 public:
  explicit RecordedForm3View(FakeForm1View* owner) : FakeForm3View(&owner->log), owner_(owner) {}
  ~RecordedForm3View() override {
    owner_->progress = nullptr;
    owner_->progress_view = nullptr;
  }

 private:
  FakeForm1View* owner_;
};

}  // namespace

void FakeBackupsView::SetEntries(int row, const std::string& text) {
  rows.at(row)[BackupsForm::kEntriesColumn] = text;
  entries_shown.push_back(std::to_string(row) + ":" + text);
}

void FakeForm2View::Click(OptionsBox box) {
  checked_[Index(box)] = !checked_[Index(box)];
  if (box == OptionsBox::kLoopbackAddress) form_.LoopbackBoxClicked();
  if (box == OptionsBox::kZeroAddress) form_.ZeroBoxClicked();
}

std::string FakeForm2View::Checked() const {
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

FakeForm1View::FakeForm1View() {
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

void FakeForm1View::SetWindowEnabled(bool enabled_now) {
  window_enabled = enabled_now;
  log.push_back(enabled_now ? "enabled" : "disabled");
}

void FakeForm1View::SetWindowVisible(bool visible_now) {
  visible = visible_now;
  log.push_back(visible_now ? "shown" : "hidden");
}

void FakeForm1View::ShowSortOrder(int list_number, Column column, SortDirection direction) {
  sort_order[list_number - 1] =
      std::to_string(static_cast<int>(column)) + " " + std::to_string(static_cast<int>(direction));
}

void FakeForm1View::SelectRow(int list_number, size_t row) {
  selected = {};
  selected[list_number - 1] = {row};
  log.push_back("selected " + std::to_string(list_number) + " " + std::to_string(row));
}

void FakeForm1View::ProcessEvents() {
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

void FakeForm1View::Close() {
  log.push_back("close");
  if (form->CloseRequested()) log.push_back("closed");
}

void FakeForm1View::RunOptionsWindow(OptionsForm& form2) {
  log.push_back("options");
  FakeForm2View view(form2);
  form2.Start(&view);
  if (options_scripts.empty()) {
    ADD_FAILURE() << "unexpected options window";
    return;
  }
  auto script = std::move(options_scripts.front());
  options_scripts.pop_front();
  script(form2, view);
}

void FakeForm1View::RunAboutWindow(AboutForm& about) {
  log.push_back("about");
  if (about_scripts.empty()) {
    ADD_FAILURE() << "unexpected about window";
    return;
  }
  auto script = std::move(about_scripts.front());
  about_scripts.pop_front();
  script(about);
}

void FakeForm1View::RunSearchWindow(SearchForm& search) {
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

void FakeForm1View::RunBackupsWindow(BackupsForm& backups) {
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

std::unique_ptr<ProgressView> FakeForm1View::OpenProgressWindow(ProgressForm& form3) {
  log.push_back("progress opened");
  auto view = std::make_unique<RecordedForm3View>(this);
  form3.Start(view.get());
  progress = &form3;
  progress_view = view.get();
  return view;
}

void ClickOk(OptionsForm& form, FakeForm2View&) { form.Accept(); }

void ClickAnnuler(OptionsForm& form, FakeForm2View&) { form.Cancel(); }

}  // namespace quorvale::testing
