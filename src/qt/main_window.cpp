#include "qt/main_window.h"

#include <algorithm>
#include <utility>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

#include "forms/texts.h"
#include "qt/about_window.h"
#include "qt/backups_window.h"
#include "qt/entry_model.h"
#include "qt/options_window.h"
#include "qt/progress_window.h"
#include "qt/search_window.h"
#include "qt/sources_window.h"
#include "qt/twips.h"

namespace quorvale {

namespace {

int IndexOf(MainControl control) { return static_cast<int>(control); }

// The selected rows of a list as runs of rows [first, last], in order and apart. A selection
// model keeps ranges, never rows: a run of a million rows is one range here, where its
// selectedRows() would make and compare an index for each.
std::vector<std::pair<int, int>> SelectedRuns(const QItemSelectionModel& selection) {
  std::vector<std::pair<int, int>> runs;
  for (const QItemSelectionRange& range : selection.selection()) runs.emplace_back(range.top(), range.bottom());
  std::sort(runs.begin(), runs.end());
  size_t kept = 0;
  for (const std::pair<int, int>& run : runs) {
    if (kept > 0 && run.first <= runs[kept - 1].second + 1) {
      runs[kept - 1].second = std::max(runs[kept - 1].second, run.second);
    } else {
      runs[kept++] = run;
    }
  }
  runs.resize(kept);
  return runs;
}

}  // namespace

MainWindow::MainWindow(MainForm& form, QWidget* parent) : QMainWindow(parent), form_(form) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromUtf8(texts::kTitle));
  setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(TwipsSize(main_form_design::kClientWidthTwips, main_form_design::kClientHeightTwips));
  setCentralWidget(client);

  blocked_model_ = new EntryModel(
      form_.session().blocked, [this](int row, int column) { return form_.CellText(1, row, column); }, this);
  redirected_model_ = new EntryModel(
      form_.session().redirected, [this](int row, int column) { return form_.CellText(2, row, column); }, this);
  blocked_list_ = BuildList("ListView1", blocked_model_, 1);
  blocked_list_->setGeometry(Twips(main_form_design::kBlockedList));
  redirected_list_ = BuildList("ListView2", redirected_model_, 2);
  redirected_list_->setGeometry(Twips(main_form_design::kRedirectedList));

  status_label_ = new QLabel(client);
  status_label_->setObjectName(QStringLiteral("Label1"));
  QRect label = Twips(main_form_design::kStatusLabel);
  label.setWidth(client->width() - label.left() - main_form_design::kStatusRightMargin);
  status_label_->setGeometry(label);

  BuildMenus();
  BuildButtons();
  setFixedSize(sizeHint());
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  setAcceptDrops(true);
  form_.Start(this);
}

MainWindow::~MainWindow() {
  // The views read the session's lists; they go before the models and the window.
  delete blocked_list_;
  delete redirected_list_;
}

ReportListView* MainWindow::BuildList(const char* name, EntryModel* model, int list_number) {
  auto* view = new ReportListView(centralWidget());
  view->setObjectName(QString::fromLatin1(name));
  view->setModel(model);
  for (int column = 0; column < main_form_design::kColumnCount; ++column) {
    view->setColumnWidth(column, main_form_design::kColumns[column].width);
  }
  QHeaderView* header = view->header();
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  header->setSortIndicator(0, Qt::AscendingOrder);
  header->setStretchLastSection(false);
  connect(header, &QHeaderView::sectionClicked, this,
          [this, list_number](int section) { form_.ColumnClick(list_number, section); });
  connect(view, &ReportListView::DeletePressed, this, [this, list_number] { form_.DeleteSelectedRows(list_number); });
  connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { form_.SelectionChanged(); });
  return view;
}

void MainWindow::BuildMenus() {
  for (const main_form_design::MenuDesign& design : main_form_design::kMenus) {
    QMenu* menu = nullptr;
    if (design.name != nullptr) {
      menu = menuBar()->addMenu(QString::fromUtf8(design.caption));
      menu->setObjectName(QString::fromLatin1(design.name));
    }
    for (int i = 0; i < design.item_count; ++i) {
      const main_form_design::MenuItemDesign& item = design.items[i];
      const QString caption = QString::fromUtf8(item.caption);
      if (item.separator_before && menu != nullptr) menu->addSeparator();
      QAction* action = menu != nullptr ? menu->addAction(caption) : menuBar()->addAction(caption);
      action->setObjectName(QString::fromLatin1(item.name));
      if (item.shortcut != nullptr) action->setShortcut(QKeySequence(QString::fromLatin1(item.shortcut)));
      connect(action, &QAction::triggered, this, [this, control = item.control] { form_.Click(control); });
      actions_[IndexOf(item.control)] = action;
    }
    if (design.reports_opening) {
      connect(menu, &QMenu::aboutToShow, this, [this] { form_.HostsMenuOpening(); });
    }
  }
  auto* find_next = new QShortcut(QKeySequence(QString::fromLatin1(main_form_design::kFindNextShortcut)), this);
  connect(find_next, &QShortcut::activated, this, [this] { form_.FindNext(); });
}

void MainWindow::BuildButtons() {
  for (const main_form_design::ButtonDesign& design : main_form_design::kButtons) {
    auto* button = new QPushButton(QString::fromUtf8(design.caption), centralWidget());
    button->setObjectName(QString::fromLatin1(design.name));
    button->setGeometry(Twips(design.place));
    button->setEnabled(design.enabled);
    connect(button, &QPushButton::clicked, this, [this, control = design.control] { form_.Click(control); });
    buttons_[IndexOf(design.control)] = button;
  }
  QWidget* previous = nullptr;
  for (const char* name : main_form_design::kTabOrder) {
    auto* widget = centralWidget()->findChild<QWidget*>(QString::fromLatin1(name));
    if (previous != nullptr) setTabOrder(previous, widget);
    previous = widget;
  }
}

void MainWindow::SetStatusText(const std::string& text) { status_label_->setText(QString::fromStdString(text)); }

void MainWindow::SetControlEnabled(MainControl control, bool enabled) {
  if (QAction* action = actions_[IndexOf(control)]) action->setEnabled(enabled);
  if (QPushButton* button = buttons_[IndexOf(control)]) button->setEnabled(enabled);
}

void MainWindow::SetControlCaption(MainControl control, const std::string& caption) {
  const QString text = QString::fromStdString(caption);
  if (QAction* action = actions_[IndexOf(control)]) action->setText(text);
  if (QPushButton* button = buttons_[IndexOf(control)]) button->setText(text);
}

void MainWindow::SetWindowEnabled(bool enabled) { setEnabled(enabled); }

void MainWindow::SetWindowVisible(bool visible) { setVisible(visible); }

void MainWindow::ListChanged(int list_number) {
  (list_number == 1 ? blocked_model_ : redirected_model_)->Refresh();
  // A refreshed list has lost its selection without saying so.
  form_.SelectionChanged();
}

void MainWindow::ShowSortOrder(int list_number, Column column, SortDirection direction) {
  (list_number == 1 ? blocked_list_ : redirected_list_)
      ->header()
      ->setSortIndicator(static_cast<int>(column),
                         direction == SortDirection::kAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

std::vector<size_t> MainWindow::SelectedRows(int list_number) const {
  std::vector<size_t> rows;
  for (const auto& [first, last] : SelectedRuns(*List(list_number)->selectionModel())) {
    for (int row = first; row <= last; ++row) rows.push_back(static_cast<size_t>(row));
  }
  return rows;
}

size_t MainWindow::SelectedRowCount(int list_number) const {
  size_t count = 0;
  for (const auto& [first, last] : SelectedRuns(*List(list_number)->selectionModel())) count += last - first + 1;
  return count;
}

void MainWindow::SelectRow(int list_number, size_t row) {
  blocked_list_->clearSelection();
  redirected_list_->clearSelection();
  ReportListView* list = List(list_number);
  const QModelIndex index = list->model()->index(static_cast<int>(row), 0);
  list->setCurrentIndex(index);
  list->selectRow(static_cast<int>(row));
  list->scrollTo(index);
  list->setFocus();
}

void MainWindow::ProcessEvents() { QCoreApplication::processEvents(); }

void MainWindow::Close() { close(); }

void MainWindow::Quit(int exit_code) { QCoreApplication::exit(exit_code); }

void MainWindow::RunOptionsWindow(OptionsForm& form) { OptionsWindow(form, this).exec(); }

void MainWindow::RunAboutWindow(AboutForm& form) { AboutWindow(form, this).exec(); }

void MainWindow::RunSearchWindow(SearchForm& form) { SearchWindow(form, this).exec(); }

void MainWindow::RunBackupsWindow(BackupsForm& form) { BackupsWindow(form, this).exec(); }

void MainWindow::RunSourcesWindow(SourcesForm& form) { SourcesWindow(form, this).exec(); }

void MainWindow::RunWhyWindow(WhyForm& form) { WhyWindow(form, this).exec(); }

std::unique_ptr<ProgressView> MainWindow::OpenProgressWindow(ProgressForm& form) {
  auto window = std::make_unique<ProgressWindow>(form);
  window->Open();
  return window;
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  }
  event->acceptProposedAction();
  // The loads run after the drop has ended, so that the program the files came from is
  // not kept waiting.
  QTimer::singleShot(0, this, [this, paths] { form_.LoadDroppedFiles(paths); });
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (form_.CloseRequested()) {
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace quorvale
