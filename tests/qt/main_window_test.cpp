// The main window on Qt: the widgets MainForm designs, and the wiring of real menu items,
// buttons, header clicks and the close box to MainForm.

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QUrl>
#include <string>
#include <vector>

#include "forms/main_form_design.h"
#include "qt/twips.h"
#include "support/qt_fixture.h"

namespace quorvale::testing {
namespace {

QStringList Captions(const QList<QAction*>& actions) {
  QStringList captions;
  for (QAction* action : actions) captions << action->objectName() + "=" + action->text();
  return captions;
}

TEST_F(MainWindowTest, TheDesignedWindow) {
  EXPECT_EQ(window_->windowTitle(), "Quorvale");
  EXPECT_EQ(window_->centralWidget()->size(),
            TwipsSize(main_form_design::kClientWidthTwips, main_form_design::kClientHeightTwips));
  EXPECT_EQ(Find<QLabel>(window_.get(), "Label1")->text(), "Aucune adresse chargee");
  EXPECT_EQ(Find<QLabel>(window_.get(), "Label1")->geometry().topLeft(),
            Twips(main_form_design::kStatusLabel).topLeft());

  EXPECT_EQ(Captions(window_->menuBar()->actions()),
            (QStringList{"=Hosts", "=Fichier", "Reset=Reset", "Apropos=A propos"}));
  EXPECT_EQ(Captions(Find<QMenu>(window_.get(), "HostsOperation")->actions()),
            (QStringList{"OpenHostFile=Charger le fichier hosts", "ReplaceHosts=Remplacer le fichier hosts", "=",
                         "Restaurer=Restaurer une sauvegarde...", "Sources=Sources..."}));
  EXPECT_EQ(Captions(Find<QMenu>(window_.get(), "Menu")->actions()),
            (QStringList{"Ouvrir=Charger un fichier (format Hosts)", "SaveAs=Enregister sous...(format hosts)",
                         "ChargerDom=Charger des noms de domaines", "ExportDom=Exporter noms de domaines", "=",
                         "Rechercher=Rechercher...", "Pourquoi=Pourquoi ce nom ?"}));
  EXPECT_EQ(Action("Rechercher")->shortcut(), QKeySequence(QStringLiteral("Ctrl+F")));
  EXPECT_FALSE(Action("ReplaceHosts")->isEnabled());
  EXPECT_FALSE(Action("Reset")->isEnabled());
  EXPECT_TRUE(Action("SaveAs")->isEnabled());

  for (const char* name : {"ListView1", "ListView2"}) {
    QAbstractItemModel* model = View(name)->model();
    ASSERT_EQ(model->columnCount(), 3);
    QStringList headers;
    for (int column = 0; column < 3; ++column) {
      headers << model->headerData(column, Qt::Horizontal).toString() + "/" +
                     QString::number(View(name)->columnWidth(column));
    }
    EXPECT_EQ(headers, (QStringList{"Domaine/200", "Description/203", "Redirection/123"})) << name;
    EXPECT_EQ(model->rowCount(), 0);
  }
  EXPECT_EQ(View("ListView1")->geometry(), Twips(main_form_design::kBlockedList));
  EXPECT_EQ(View("ListView2")->geometry(), Twips(main_form_design::kRedirectedList));

  // The buttons keep their design places below the visible client area.
  for (const main_form_design::ButtonDesign& design : main_form_design::kButtons) {
    QPushButton* button = Find<QPushButton>(window_.get(), design.name);
    EXPECT_EQ(button->geometry(), Twips(design.place)) << design.name;
    EXPECT_FALSE(window_->centralWidget()->rect().contains(button->geometry())) << design.name;
  }
  EXPECT_EQ(Find<QPushButton>(window_.get(), "Command6")->text(), "Charger un fichier(nom de domaines seulement)");
  EXPECT_FALSE(Find<QPushButton>(window_.get(), "Command2")->isEnabled());

  // Keyboard order: the buttons as designed, the two lists, then the spare button.
  QStringList order;
  QWidget* widget = Find<QPushButton>(window_.get(), "Command1");
  for (int i = 0; i < 11; ++i) {
    order << widget->objectName();
    do {
      widget = widget->nextInFocusChain();
    } while (widget->focusPolicy() == Qt::NoFocus || widget->objectName().isEmpty() ||
             widget->objectName().startsWith("qt_"));
  }
  EXPECT_EQ(order, (QStringList{"Command1", "Command2", "Command3", "Command4", "Command5", "Command7", "Command8",
                                "Command6", "ListView1", "ListView2", "Command9"}));
}

// The lists behave as lists of rows: a click selects a whole row and only one, the arrow
// keys move from row to row, and Tab leaves the list for the next control.
TEST_F(MainWindowTest, ListsSelectWholeRowsAndTabLeavesThem) {
  WriteBytes(dir_.File("HOSTS"), "0.0.0.0 a.example #one\r\n0.0.0.0 b.example\r\n10.0.0.1 c.lan # caf\xE9\r\n");
  Action("OpenHostFile")->trigger();
  ReportListView* list = View("ListView1");
  ASSERT_EQ(list->model()->rowCount(), 2);
  EXPECT_EQ(list->model()->data(list->model()->index(0, 1)).toString(), "#one");
  EXPECT_EQ(View("ListView2")->model()->data(View("ListView2")->model()->index(0, 1)).toString(), "# caf\u00E9");
  EXPECT_EQ(Find<QLabel>(window_.get(), "Label1")->text(), "3 Adresse(s) chargée(s)");
  EXPECT_FALSE(list->verticalHeader()->isVisible());
  list->setFocus();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 1)).center());
  QModelIndexList rows = list->selectionModel()->selectedRows();
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows[0].row(), 0);
  EXPECT_EQ(list->selectionModel()->selectedIndexes().size(), 3);
  QTest::keyClick(list, Qt::Key_Down);
  rows = list->selectionModel()->selectedRows();
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows[0].row(), 1);
  QTest::keyClick(list, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), View("ListView2"));
}

// Each menu item and button reaches its own command: what the command shows first tells.
TEST_F(MainWindowTest, MenuItemsAndButtonsReachTheirCommands) {
  struct Wiring {
    const char* control;
    const char* first_seen;  // "open" or "save" dialog, a message's text, or what happened
  };
  const Wiring wirings[] = {
      {"Ouvrir", "open"},
      {"ChargerDom", "open"},
      {"ExportDom", "save"},
      {"SaveAs", "vous devez d'abord charger un ficher d'adresse!"},
      {"Command2", "vous devez d'abord charger un ficher d'adresses!"},
      {"Command3", "vous devez d'abord charger un ficher d'adresse!"},
      {"Command6", "open"},
      {"Command7", "vous devez d'abord charger un ficher d'adresse!"},
      {"Command5", "started"},
      {"Command8", "report"},
      {"OpenHostFile", "report"},
  };
  for (const Wiring& wiring : wirings) {
    SCOPED_TRACE(wiring.control);
    prompts_ = ScriptedPrompts();
    prompts_.files.push_back({});
    prompts_.answers.push_back(Prompts::Answer::kOk);
    platform_.started.clear();
    platform_.shown_files.clear();
    if (auto* button = window_->findChild<QPushButton*>(wiring.control)) {
      button->setEnabled(true);
      button->click();
    } else {
      Action(wiring.control)->trigger();
    }
    std::string seen = !prompts_.dialogs.empty()  ? (prompts_.dialogs[0].save ? "save" : "open")
                       : !prompts_.messages.empty() ? prompts_.messages[0].text
                       : !platform_.started.empty() ? "started"
                       : !platform_.shown_files.empty() ? "report"
                                                        : "nothing";
    EXPECT_EQ(seen, wiring.first_seen);
  }
  // The options and the about windows open modal over the main window.
  for (const char* name : {"ReplaceHosts", "Apropos"}) {
    QString opened;
    OnNextModal([&](QWidget* modal) {
      opened = modal->objectName() + " over " + modal->parentWidget()->objectName();
      modal->close();
    });
    Action(name)->setEnabled(true);
    Action(name)->trigger();
    EXPECT_EQ(opened, name == std::string("Apropos") ? "frmAbout over Form1" : "Form2 over Form1");
  }
}

// A real click on a header sorts once and the header's arrow shows the order; a click that
// comes while a command runs is dropped and the arrow stays where the order is.
TEST_F(MainWindowTest, HeaderClicksSortOnceAndTheArrowFollowsTheOrder) {
  WriteBytes(dir_.File("HOSTS"), "0.0.0.0 b.example #1\r\n0.0.0.0 a.example #2\r\n");
  Action("OpenHostFile")->trigger();
  ReportListView* list = View("ListView1");
  QHeaderView* header = list->header();
  auto first = [&] { return list->model()->data(list->model()->index(0, 0)).toString(); };
  auto click = [&](int section) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(section) + 5, header->height() / 2));
  };
  EXPECT_EQ(first(), "a.example");
  click(0);
  EXPECT_EQ(first(), "b.example");
  EXPECT_EQ(header->sortIndicatorSection(), 0);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);

  // The lock command starts its tool with the window enabled: a header click then is dropped.
  platform_.watch = [&](const std::string& call) {
    if (call.starts_with("start")) click(1);
  };
  Find<QPushButton>(window_.get(), "Command5")->click();
  platform_.watch = nullptr;
  ASSERT_EQ(platform_.started.size(), 1u);
  EXPECT_EQ(first(), "b.example");
  EXPECT_EQ(header->sortIndicatorSection(), 0);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
}

// Delete in a list, Ctrl+F, F3, the "Hosts" menu as it opens and files dropped on the window
// reach their commands.
TEST_F(MainWindowTest, TheKeysTheMenuAndADropReachTheirCommands) {
  WriteBytes(dir_.File("HOSTS"), "0.0.0.0 a.example\r\n0.0.0.0 b.example\r\n0.0.0.0 c.example\r\n");
  Action("OpenHostFile")->trigger();
  ReportListView* list = View("ListView1");
  auto row_of = [&](int row) { return list->visualRect(list->model()->index(row, 0)).center(); };
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row_of(0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ShiftModifier, row_of(1));
  QTest::keyClick(list, Qt::Key_Delete);
  ASSERT_EQ(list->model()->rowCount(), 1);
  EXPECT_EQ(list->model()->data(list->model()->index(0, 0)).toString(), "c.example");

  OnNextModal([](QWidget* modal) {
    EXPECT_EQ(modal->windowTitle(), "Rechercher");
    const QLabel* label = Find<QLabel>(modal, "Label1");
    const QRect field = Find<QLineEdit>(modal, "Text1")->geometry();
    EXPECT_EQ(label->text(), "Nom a rechercher :");
    EXPECT_LT(label->geometry().right(), field.left());
    EXPECT_TRUE(field.contains(field.left(), label->geometry().center().y()));
    QTest::keyClicks(Find<QLineEdit>(modal, "Text1"), "C.EX");
    QTest::keyClick(modal, Qt::Key_Return);
  });
  QTest::keySequence(window_.get(), QKeySequence(QStringLiteral("Ctrl+F")));
  EXPECT_EQ(form_.session().blocked.Name(static_cast<size_t>(list->selectionModel()->selectedRows().at(0).row())),
            "c.example");
  prompts_.answers.push_back(Prompts::Answer::kOk);
  QTest::keyClick(window_.get(), Qt::Key_F3);  // the only match is the selected row: found again
  EXPECT_TRUE(prompts_.messages.empty());

  auto* hosts_menu = Find<QMenu>(window_.get(), "HostsOperation");
  emit hosts_menu->aboutToShow();
  EXPECT_FALSE(Action("Restaurer")->isEnabled());
  WriteBytes(dir_.File("HOSTS.20240101-000000.bak"), "0.0.0.0 x.example\r\n");
  emit hosts_menu->aboutToShow();
  ASSERT_TRUE(Action("Restaurer")->isEnabled());
  OnNextModal([](QWidget* modal) {
    auto* table = Find<QTableWidget>(modal, "List1");
    QCoreApplication::sendPostedEvents();  // the counting, queued once the window was shown
    EXPECT_EQ(modal->windowTitle() + " " + table->horizontalHeaderItem(2)->text() + " " + table->item(0, 2)->text(),
              "Sauvegardes Entrees 1");
    Find<QPushButton>(modal, "Command2")->click();
  });
  Action("Restaurer")->trigger();

  WriteBytes(dir_.File("dropped.txt"), "0.0.0.0 dropped.example\r\n");
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir_.File("dropped.txt")))});
  QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &enter);
  QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &drop);
  QApplication::processEvents();
  EXPECT_EQ(Find<QLabel>(window_.get(), "Label1")->text(), "2 Adresse(s) chargée(s)");
}

// The close box ends the program's event loop with exit code 0.
TEST_F(MainWindowTest, TheCloseBoxEmptiesTheListsAndEndsTheProgram) {
  WriteBytes(dir_.File("HOSTS"), "0.0.0.0 a.example\r\n");
  Action("OpenHostFile")->trigger();
  QTimer::singleShot(0, [this] { EXPECT_TRUE(window_->close()); });
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(View("ListView1")->model()->rowCount(), 0);
}

}  // namespace
}  // namespace quorvale::testing
