#include "forms/main_form_fixture.h"

#include "support/list_rows.h"

namespace quorvale::testing {

std::string Describe(const ScriptedPrompts::Shown& shown) {
  const char* buttons = shown.buttons == Prompts::Buttons::kOk         ? "OK"
                        : shown.buttons == Prompts::Buttons::kOkCancel ? "OK/Cancel"
                        : shown.buttons == Prompts::Buttons::kYesNoDefaultNo ? "Yes/No, No default"
                                                                       : "Yes/No";
  const char* icon = shown.icon == Prompts::Icon::kNone ? "none" : "critical";
  return shown.text + " | " + buttons + " | " + icon + " | " + shown.title;
}

std::string Screen(const FakeMainView& view) {
  std::string screen = view.visible ? "main" : "";
  if (view.progress != nullptr) screen += screen.empty() ? "progress" : "+progress";
  return screen;
}

MainFormTest::MainFormTest() {
  platform_.executable_path = Path("quorvale");
  platform_.hosts_path = Path("HOSTS");
  platform_.user_data_folder = Path("userdata/");
  WriteBytes(Path("subinacl"), "");  // the lock tool makes the program's folder the report's
  view_.form = &form_;
  form_.Start(&view_);
}

MainFormTest::~MainFormTest() = default;

std::vector<std::string> MainFormTest::Rows(int list_number) const {
  std::vector<std::string> rows;
  for (const Row& row : testing::Rows(list_number == 1 ? form_.session().blocked : form_.session().redirected)) {
    rows.push_back(row.name + "|" + row.description + "|" + row.address);
  }
  return rows;
}

std::vector<std::string> MainFormTest::Buffer() const { return Entries(form_.session().SortArray); }

std::vector<std::string> MainFormTest::Messages() const {
  std::vector<std::string> lines;
  for (const auto& shown : prompts_.messages) lines.push_back(Describe(shown));
  return lines;
}

bool MainFormTest::LoadCounted() {
  const ScriptedPrompts before = prompts_;
  prompts_.answers = {Answer::kOk};
  prompts_.files = {ScriptedPrompts::FileChoice{}};
  form_.SaveSortedNames();
  const bool counted = prompts_.messages.size() == before.messages.size();
  prompts_ = before;
  return counted;
}

void MainFormTest::LoadThrough(void (MainForm::*click)(), const char* name, std::string_view content) {
  WriteBytes(Path(name), content);
  ChooseFile(Path(name));
  (form_.*click)();
}

void MainFormTest::LoadHosts(std::string_view content) {
  WriteBytes(Path("HOSTS"), content);
  form_.LoadSystemHosts();
}

}  // namespace quorvale::testing
