#include "qt/form1.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>
#include <sys/stat.h>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "qt/form3.h"
#include "support/fake_platform.h"
#include "support/scripted_prompts.h"
#include "support/test_files.h"

namespace quorvale {
namespace {

using testing::FakePlatform;
using testing::ReadBytes;
using testing::ScriptedPrompts;
using testing::TempDir;
using testing::WriteBytes;

constexpr char kEmptyReport[] =
    "Liste des erreurs: \r\n\r\n\r\n---------------------------------\r\n---------------------------------\r\n\r\n\r\n";

// Runs the event loop until `done` holds or two seconds have passed.
bool WaitFor(const std::function<bool()>& done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

class Form1Test : public ::testing::Test {
 protected:
  Form1Test() {
    platform_.executable_path = dir_.File("quorvale");
    platform_.hosts_path = dir_.File("HOSTS");
    platform_.user_data_folder = dir_.File("userdata/");
    form_ = std::make_unique<Form1>(platform_, prompts_);
    form_->show();
  }

  template <typename T>
  T* Find(const char* name) {
    T* found = form_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QAction* Action(const char* name) { return Find<QAction>(name); }
  ReportListView* View(const char* name) { return Find<ReportListView>(name); }
  QString Cell(const char* view, int row, int column) {
    QAbstractItemModel* model = View(view)->model();
    return model->data(model->index(row, column)).toString();
  }
  std::string Report() { return ReadBytes(dir_.File("Rapport.txt")); }

  TempDir dir_;
  FakePlatform platform_;
  ScriptedPrompts prompts_;
  std::unique_ptr<Form1> form_;
};

TEST_F(Form1Test, StartState) {
  EXPECT_EQ(form_->windowTitle(), "Quorvale");
  EXPECT_EQ(form_->centralWidget()->size(), QSize(543, 430));
  EXPECT_EQ(form_->StatusText(), "Aucune adresse chargee");
  EXPECT_EQ(form_->HostsPath(), dir_.File("HOSTS"));
  EXPECT_EQ(form_->FilesLoaded(), 0);

  // Menus in order, with captions and starting states.
  QStringList menu_bar;
  for (QAction* action : form_->menuBar()->actions()) menu_bar << action->text();
  EXPECT_EQ(menu_bar, (QStringList{"Hosts", "Fichier", "Reset", "A propos"}));
  QStringList hosts;
  for (QAction* action : Find<QMenu>("HostsOperation")->actions()) hosts << action->objectName() + "=" + action->text();
  EXPECT_EQ(hosts, (QStringList{"OpenHostFile=Charger le fichier hosts", "ReplaceHosts=Remplacer le fichier hosts"}));
  QStringList fichier;
  for (QAction* action : Find<QMenu>("Menu")->actions()) fichier << action->objectName() + "=" + action->text();
  EXPECT_EQ(fichier, (QStringList{"Ouvrir=Charger un fichier (format Hosts)", "SaveAs=Enregister sous...(format hosts)",
                                  "ChargerDom=Charger des noms de domaines", "ExportDom=Exporter noms de domaines"}));
  EXPECT_TRUE(Action("OpenHostFile")->isEnabled());
  EXPECT_FALSE(Action("ReplaceHosts")->isEnabled());
  EXPECT_TRUE(Action("Ouvrir")->isEnabled());
  EXPECT_TRUE(Action("SaveAs")->isEnabled());
  EXPECT_TRUE(Action("ChargerDom")->isEnabled());
  EXPECT_TRUE(Action("ExportDom")->isEnabled());
  EXPECT_FALSE(Action("Reset")->isEnabled());
  EXPECT_TRUE(Action("Apropos")->isEnabled());

  // Both lists: three columns with their widths, at their design places.
  for (const char* name : {"ListView1", "ListView2"}) {
    ReportListView* view = View(name);
    QAbstractItemModel* model = view->model();
    ASSERT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Domaine");
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "Description");
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "Redirection");
    EXPECT_EQ(view->columnWidth(0), 200);
    EXPECT_EQ(view->columnWidth(1), 203);
    EXPECT_EQ(view->columnWidth(2), 123);
    EXPECT_EQ(model->rowCount(), 0);
  }
  EXPECT_EQ(View("ListView1")->geometry(), QRect(8, 8, 529, 241));
  EXPECT_EQ(View("ListView2")->geometry(), QRect(8, 264, 529, 137));
  EXPECT_EQ(Find<QLabel>("Label1")->geometry().topLeft(), QPoint(240, 408));
}

TEST_F(Form1Test, ButtonsKeepTheirDesignPlacesBelowTheVisibleArea) {
  struct Expected {
    const char* name;
    const char* caption;
    QRect place;
    bool enabled;
  };
  const Expected buttons[] = {
      {"Command1", "Charger un fichier ", QRect(520, 432, 121, 25), true},
      {"Command2", "Trier", QRect(520, 472, 121, 33), false},
      {"Command8", "Voir les doublons et les erreurs", QRect(520, 512, 121, 33), false},
      {"Command7", "Enregistrer uniquement les noms de domaines", QRect(520, 552, 121, 33), false},
      {"Command3", "Enregistrer sous...", QRect(520, 592, 121, 33), false},
      {"Command4", "Remplacer le fichier hosts", QRect(520, 632, 121, 33), false},
      {"Command5", "Verouiller le fichier hosts", QRect(520, 672, 121, 33), true},
      {"Command6", "Charger un fichier(nom de domaines seulement)", QRect(520, 712, 121, 33), true},
      {"Command9", "Command9", QRect(520, 776, 81, 33), true},
  };
  for (const Expected& expected : buttons) {
    QPushButton* button = Find<QPushButton>(expected.name);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), expected.caption) << expected.name;
    EXPECT_EQ(button->geometry(), expected.place) << expected.name;
    EXPECT_EQ(button->isEnabled(), expected.enabled) << expected.name;
    EXPECT_FALSE(form_->centralWidget()->rect().contains(button->geometry())) << expected.name;
  }
  // Keyboard order: Command1, 2, 3, 4, 5, 7, 8, 6, the two lists, Command9.
  QStringList order;
  QWidget* widget = Find<QPushButton>("Command1");
  for (int i = 0; i < 11; ++i) {
    order << widget->objectName();
    widget = widget->nextInFocusChain();
    while (widget->focusPolicy() == Qt::NoFocus || widget->objectName().isEmpty() ||
           widget->objectName().startsWith("qt_")) {
      widget = widget->nextInFocusChain();
    }
  }
  EXPECT_EQ(order, (QStringList{"Command1", "Command2", "Command3", "Command4", "Command5", "Command7", "Command8",
                                "Command6", "ListView1", "ListView2", "Command9"}));
}

// The lists behave as lists of rows: a click selects a whole row and only one, the arrow
// keys move from row to row, and Tab leaves the list for the next control.
TEST_F(Form1Test, ListsSelectWholeRowsAndTabLeavesThem) {
  WriteBytes(dir_.File("HOSTS"), "0.0.0.0 a.example #one\r\n0.0.0.0 b.example\r\n10.0.0.1 c.lan\r\n");
  Action("OpenHostFile")->trigger();
  ReportListView* list = View("ListView1");
  ASSERT_EQ(list->model()->rowCount(), 2);
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
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    list->visualRect(list->model()->index(0, 0)).center());
  EXPECT_EQ(list->selectionModel()->selectedRows().size(), 1);
  QTest::keyClick(list, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), View("ListView2"));
}

TEST_F(Form1Test, LoadingTheHostsFileFillsBothListsAndOpensTheReport) {
  WriteBytes(dir_.File("HOSTS"),
             "# comment\r\n127.0.0.1 localhost\r\n0.0.0.0 ads.example.com #Tracker\r\n"
             "127.0.0.1\tWWW.Beta.example\r\n10.1.2.3 intranet.example\r\n\r\nnot a line\r\n");
  Action("OpenHostFile")->trigger();

  EXPECT_EQ(form_->StatusText(), "3 Adresse(s) chargée(s)");
  EXPECT_EQ(form_->CurrentFile(), dir_.File("HOSTS"));
  EXPECT_EQ(form_->FilesLoaded(), 1);
  EXPECT_TRUE(form_->isVisible());
  EXPECT_TRUE(form_->isEnabled());
  ASSERT_EQ(View("ListView1")->model()->rowCount(), 2);
  EXPECT_EQ(Cell("ListView1", 0, 0), "ads.example.com");
  EXPECT_EQ(Cell("ListView1", 0, 1), "#tracker");
  EXPECT_EQ(Cell("ListView1", 0, 2), "0.0.0.0");
  EXPECT_EQ(Cell("ListView1", 1, 0), "beta.example");
  EXPECT_EQ(Cell("ListView1", 1, 1), "");
  EXPECT_EQ(Cell("ListView1", 1, 2), "127.0.0.1");
  ASSERT_EQ(View("ListView2")->model()->rowCount(), 1);
  EXPECT_EQ(Cell("ListView2", 0, 0), "intranet.example");
  EXPECT_EQ(Cell("ListView2", 0, 2), "10.1.2.3");
  for (const char* name : {"SaveAs", "ExportDom", "Reset", "ReplaceHosts"}) EXPECT_TRUE(Action(name)->isEnabled()) << name;

  // The attributes are cleared once; the waits are 200 ms, 100 times 10 ms and 200 ms.
  ASSERT_EQ(platform_.attribute_calls.size(), 1u);
  EXPECT_EQ(platform_.attribute_calls[0], std::make_pair(dir_.File("HOSTS"), 0));
  std::vector<int> waits{200};
  waits.insert(waits.end(), 100, 10);
  waits.push_back(200);
  EXPECT_EQ(platform_.sleeps, waits);

  EXPECT_EQ(Report(),
            "Liste des erreurs: \r\n\r\n\r\n# comment\r\n127.0.0.1 localhost\r\nnot a line\r\n"
            "---------------------------------\r\n---------------------------------\r\n\r\n\r\n");
  EXPECT_EQ(platform_.shown_files, std::vector<std::string>{dir_.File("Rapport.txt")});
  EXPECT_TRUE(prompts_.messages.empty());

  // A second load of the same file adds no row but counts as a load and opens the report again.
  Action("OpenHostFile")->trigger();
  EXPECT_EQ(form_->StatusText(), "3 Adresse(s) chargée(s)");
  EXPECT_EQ(form_->FilesLoaded(), 2);
  EXPECT_EQ(platform_.shown_files.size(), 2u);
}

TEST_F(Form1Test, MissingHostsFileStillOpensTheReport) {
  Action("OpenHostFile")->trigger();
  EXPECT_EQ(form_->StatusText(), "Aucune adresse chargee");
  EXPECT_EQ(form_->FilesLoaded(), 0);
  EXPECT_TRUE(form_->isVisible());
  EXPECT_TRUE(form_->isEnabled());
  EXPECT_FALSE(Action("Reset")->isEnabled());
  EXPECT_TRUE(platform_.sleeps.empty());
  // No load has filled the rejected lines yet: the report is empty, and still shown.
  EXPECT_EQ(Report(), kEmptyReport);
  EXPECT_EQ(platform_.shown_files.size(), 1u);
}

TEST_F(Form1Test, OuvrirUsesTheOpenDialogAndCountsEveryCompletedParse) {
  WriteBytes(dir_.File("list.txt"), "# nothing usable\nlocalhost\n");
  prompts_.files.push_back({QString::fromStdString(dir_.File("list.txt")), -1});
  Action("Ouvrir")->trigger();

  ASSERT_EQ(prompts_.dialogs.size(), 1u);
  const auto& dialog = prompts_.dialogs[0];
  EXPECT_FALSE(dialog.save);
  EXPECT_EQ(dialog.title, "quorvale");
  EXPECT_EQ(dialog.folder, QString::fromStdString(dir_.path() + "/"));
  EXPECT_EQ(dialog.filters, (QStringList{"Fichiers Texte (.txt) (*.txt)", "Tous les fichiers (*.*) (*)"}));
  EXPECT_EQ(dialog.filter_index, 0);

  // Nothing accepted: still one completed load, the unchanged count, menus left disabled.
  EXPECT_EQ(form_->FilesLoaded(), 1);
  EXPECT_EQ(form_->StatusText(), "0 Adresse(s) chargée(s)");
  EXPECT_FALSE(Action("Reset")->isEnabled());
  EXPECT_EQ(Report(),
            "Liste des erreurs: \r\n\r\n\r\n# nothing usable\r\nlocalhost\r\n"
            "---------------------------------\r\n---------------------------------\r\n\r\n\r\n");
  // Ouvrir waits 200 ms without a yield before it, then holds the progress window.
  EXPECT_EQ(platform_.sleeps.front(), 200);
  EXPECT_EQ(platform_.sleeps.size(), 102u);

  // The filter chosen last is preselected by the next dialog.
  WriteBytes(dir_.File("HOSTS2"), "0.0.0.0 ads.example.com\n");
  prompts_.files.push_back({QString::fromStdString(dir_.File("HOSTS2")), 1});
  Action("Ouvrir")->trigger();
  prompts_.files.push_back({QString(), -1});
  Action("Ouvrir")->trigger();
  ASSERT_EQ(prompts_.dialogs.size(), 3u);
  EXPECT_EQ(prompts_.dialogs[2].filter_index, 1);
  EXPECT_EQ(form_->FilesLoaded(), 2);
  EXPECT_TRUE(Action("Reset")->isEnabled());
}

TEST_F(Form1Test, CancelledOrFailedOuvrirChangesNothing) {
  prompts_.files.push_back({QString(), -1});
  Action("Ouvrir")->trigger();
  EXPECT_EQ(form_->FilesLoaded(), 0);
  EXPECT_EQ(form_->StatusText(), "Aucune adresse chargee");
  EXPECT_TRUE(form_->isEnabled());
  EXPECT_TRUE(platform_.shown_files.empty());
  EXPECT_TRUE(platform_.attribute_calls.empty());

  // A typed name of a file that does not exist: the attributes cannot be cleared, the load
  // ends quietly, without report and without counting.
  prompts_.files.push_back({QString::fromStdString(dir_.File("missing.txt")), -1});
  Action("Ouvrir")->trigger();
  EXPECT_EQ(form_->FilesLoaded(), 0);
  EXPECT_EQ(form_->StatusText(), "Aucune adresse chargee");
  EXPECT_TRUE(platform_.shown_files.empty());
  EXPECT_TRUE(form_->isVisible());
  EXPECT_TRUE(form_->isEnabled());
}

TEST_F(Form1Test, LoadClearsTheReadOnlyAttribute) {
  WriteBytes(dir_.File("HOSTS"), "0.0.0.0 ads.example.com\n");
  ASSERT_TRUE(platform_.SetFileAttributes(dir_.File("HOSTS"), kAttrReadOnly | kAttrSystem).ok());
  Action("OpenHostFile")->trigger();
  EXPECT_EQ(platform_.GetFileAttributes(dir_.File("HOSTS")), kAttrNormal);
}

TEST_F(Form1Test, ResetEmptiesTheListsAndKeepsEverythingElse) {
  WriteBytes(dir_.File("HOSTS"), "0.0.0.0 ads.example.com\n10.0.0.1 intranet.example\n");
  Action("OpenHostFile")->trigger();
  ASSERT_EQ(form_->StatusText(), "2 Adresse(s) chargée(s)");
  Action("Reset")->trigger();
  EXPECT_EQ(View("ListView1")->model()->rowCount(), 0);
  EXPECT_EQ(View("ListView2")->model()->rowCount(), 0);
  EXPECT_EQ(form_->StatusText(), "2 Adresse(s) chargée(s)");
  EXPECT_EQ(form_->FilesLoaded(), 1);
  for (const char* name : {"SaveAs", "ExportDom", "Reset", "ReplaceHosts"}) EXPECT_FALSE(Action(name)->isEnabled()) << name;
  EXPECT_TRUE(form_->isEnabled());
  // The lists accumulate again after a reset.
  Action("OpenHostFile")->trigger();
  EXPECT_EQ(form_->StatusText(), "2 Adresse(s) chargée(s)");
}

TEST_F(Form1Test, ReportFallsBackToTheUserFolderThenTellsTheUser) {
  platform_.failing_writes.push_back(dir_.File("Rapport.txt"));
  ASSERT_EQ(mkdir(dir_.File("userdata").c_str(), 0700), 0);
  form_->Command8_Click();
  EXPECT_EQ(ReadBytes(dir_.File("userdata/Rapport.txt")), kEmptyReport);
  EXPECT_EQ(platform_.shown_files, std::vector<std::string>{dir_.File("userdata/Rapport.txt")});

  platform_.failing_writes.push_back(dir_.File("userdata/Rapport.txt"));
  prompts_.answers.push_back(Prompts::Answer::kOk);
  form_->Command8_Click();
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0].text, "Echec! le fichier n'a pas pu etre enregistre.");
  EXPECT_EQ(prompts_.messages[0].icon, Prompts::Icon::kCritical);
  EXPECT_EQ(prompts_.messages[0].title, "Quorvale");
  EXPECT_EQ(platform_.shown_files.size(), 1u);
}

TEST_F(Form1Test, ProgressWindowShowsTheRunningCount) {
  Session session;
  Form3 progress(session);
  EXPECT_EQ(progress.size(), QSize(313, 67));
  QLabel* counter = progress.findChild<QLabel*>("Label2");
  ASSERT_NE(counter, nullptr);
  EXPECT_EQ(progress.findChild<QLabel*>("Label1")->text(), "Chargement en cours...");
  EXPECT_EQ(counter->text(), "0 Entree");
  progress.Open();
  session.EntriesLoaded = 1;
  QTimer* timer = progress.findChild<QTimer*>("Timer1");
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(timer->isActive());
  EXPECT_EQ(timer->interval(), 100);
  EXPECT_TRUE(WaitFor([&] { return counter->text() == "1 Entrees"; })) << counter->text().toStdString();
  session.EntriesLoaded = 1234567;
  EXPECT_TRUE(WaitFor([&] { return counter->text() == "1234567 Entrees"; })) << counter->text().toStdString();
}

TEST_F(Form1Test, HeaderClicksOrderTheListByColumnAndFlipOnlyOnTheSameColumn) {
  WriteBytes(dir_.File("HOSTS"),
             "0.0.0.0 b.example.com #2\n127.0.0.1 a.example.com #3\n0.0.0.0 c.example.com #1\n"
             "0.0.0.0 d.example.com #1\n");
  Action("OpenHostFile")->trigger();
  auto names = [&] {
    QStringList out;
    for (int row = 0; row < 4; ++row) out << Cell("ListView1", row, 0);
    return out.join(' ');
  };
  EXPECT_EQ(names(), "a.example.com b.example.com c.example.com d.example.com");
  QHeaderView* header = View("ListView1")->header();
  emit header->sectionClicked(1);  // Description, still ascending, ties by name
  EXPECT_EQ(names(), "c.example.com d.example.com b.example.com a.example.com");
  emit header->sectionClicked(1);  // same column: descending
  EXPECT_EQ(names(), "a.example.com b.example.com d.example.com c.example.com");
  emit header->sectionClicked(2);  // another column keeps the direction
  EXPECT_EQ(names(), "a.example.com d.example.com c.example.com b.example.com");
  EXPECT_EQ(header->sortIndicatorSection(), 2);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
  emit header->sectionClicked(0);
  EXPECT_EQ(names(), "d.example.com c.example.com b.example.com a.example.com");
  emit header->sectionClicked(0);
  EXPECT_EQ(names(), "a.example.com b.example.com c.example.com d.example.com");
  // The other list keeps its own order.
  EXPECT_EQ(View("ListView2")->header()->sortIndicatorSection(), 0);
}

}  // namespace
}  // namespace quorvale
