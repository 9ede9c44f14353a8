// The Sources window's wiring: the menu item, the list's check boxes, the buttons and the
// source editor; and "Pourquoi ce nom ?" following the lists' selection.

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <filesystem>

#include "forms/sources_form.h"
#include "support/qt_fixture.h"

namespace quorvale::testing {
namespace {

using SourcesWindowTest = MainWindowTest;

TEST_F(SourcesWindowTest, TheSourcesWindowEditsTheFileThroughItsControls) {
  std::filesystem::create_directories(dir_.File("config"));
  platform_.config_folder = dir_.File("config/");
  const std::string sources = dir_.File("config/sources.txt");
  WriteBytes(sources, "https://a.example/hosts\nftp://x\n");
  QString seen;
  OnNextModal([&](QWidget* window) {
    auto* list = Find<QTableWidget>(window, "lvSources");
    seen = window->objectName() + " " + list->item(0, 0)->text() + " " + list->horizontalHeaderItem(3)->text();
    list->item(0, 0)->setCheckState(Qt::Unchecked);
    // A malformed line has no check box; its state is cut at its end, not in its middle.
    EXPECT_FALSE(list->item(1, 0)->data(Qt::CheckStateRole).isValid() ||
                 (list->item(1, 0)->flags() & Qt::ItemIsUserCheckable));
    EXPECT_NE(list->itemDelegateForColumn(SourcesForm::kStateColumn), list->itemDelegate());
    EXPECT_FALSE(Find<QPushButton>(window, "cmdAnnuler")->isEnabled());
    // The daily box as the system says, back when it cannot be switched (no helper here).
    auto* daily = Find<QCheckBox>(window, "chkQuotidien");
    EXPECT_TRUE(daily->isChecked());
    // Enter on the list edits the selected row, where "Fermer" is the default button.
    QString edited;
    OnNextModal([&](QWidget* editor) { edited = editor->windowTitle(), Find<QPushButton>(editor, "cmdAnnuler")->click(); });
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(edited, "Modifier la source");
    prompts_.answers.push_back(Prompts::Answer::kOk);
    daily->click();
    EXPECT_TRUE(daily->isChecked());
    EXPECT_EQ(prompts_.messages.back().text, SourcesForm::kDailyOffFailed);
    OnNextModal([&](QWidget* editor) {
      Find<QLineEdit>(editor, "txtAdresse")->setText("lists/b.txt");
      Find<QRadioButton>(editor, "optDomaines")->click();
      Find<QPushButton>(editor, "cmdOK")->click();
    });
    Find<QPushButton>(window, "cmdAjouter")->click();
    EXPECT_EQ(list->rowCount(), 3);
    Find<QPushButton>(window, "cmdFermer")->click();
  });
  Action("Sources")->trigger();
  EXPECT_EQ(seen, "frmSources https://a.example/hosts Etat");
  EXPECT_EQ(ReadBytes(sources), "#https://a.example/hosts\nftp://x\nlists/b.txt domains\n");

  WriteBytes(dir_.File("HOSTS"), "0.0.0.0 ads.example\n");
  Action("OpenHostFile")->trigger();
  EXPECT_FALSE(Action("Pourquoi")->isEnabled());
  View("ListView1")->selectRow(0);
  EXPECT_TRUE(Action("Pourquoi")->isEnabled());
  // Enter in "Pourquoi ce nom ?" is "Fermer"; a name of own.txt is not offered to allow.txt.
  for (bool own : {false, true}) {
    if (own) WriteBytes(dir_.File("config/own.txt"), "0.0.0.0 ads.example\n");
    OnNextModal([&](QWidget* window) {
      EXPECT_TRUE(Find<QPushButton>(window, "cmdFermer")->isDefault());
      EXPECT_EQ(Find<QPushButton>(window, "cmdAutoriser")->isEnabled(), !own);
      QTest::keyClick(window, Qt::Key_Return);
    });
    Action("Pourquoi")->trigger();
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.File("config/allow.txt")));
}

}  // namespace
}  // namespace quorvale::testing
