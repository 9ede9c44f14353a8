#include "gui/form1.h"

#include <iterator>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include "core/report.h"
#include "gui/entry_model.h"
#include "gui/form3.h"
#include "gui/texts.h"
#include "gui/twips.h"
#include "platform/platform.h"

namespace quorvale {

namespace {

// The client area: 8145 x 6450 twips (543 x 430 pixels).
constexpr int kClientWidthTwips = 8145;
constexpr int kClientHeightTwips = 6450;
// Widths of the columns "Domaine", "Description" and "Redirection", in pixels.
constexpr int kColumnWidths[] = {200, 203, 123};
// Room kept between the status text and the right edge of the client area, in pixels.
constexpr int kStatusRightMargin = 8;
// The pause of about a second: so many short sleeps, with the window served between them.
constexpr int kPauseSteps = 100;
constexpr int kPauseStepMs = 10;
// How long the progress window stays up after its pause.
constexpr int kProgressHoldMs = 200;

}  // namespace

CommandScope::CommandScope(Form1* form) : form_(form) { ++form_->running_commands_; }

CommandScope::~CommandScope() {
  if (--form_->running_commands_ == 0 && form_->close_requested_) {
    form_->close_requested_ = false;
    form_->close();
  }
}

Form1::Form1(Platform& platform, Prompts& prompts, QWidget* parent)
    : QMainWindow(parent), platform_(platform), prompts_(prompts) {
  setObjectName(QStringLiteral("Form1"));
  slice_yield_ = [this] { YieldSliced(); };
  since_yield_.start();
  BuildWindow();

  // The window's first steps: where the HOSTS file is, and the empty lists' state.
  YieldNow();
  HostsPath_ = platform_.HostsPath();
  YieldNow();
  SetStatus(QStringLiteral("Aucune adresse chargee"));
  Reset_->setEnabled(false);
  ReplaceHosts_->setEnabled(false);
}

Form1::~Form1() {
  // The views read the session's lists, which go away before QObject deletes the children.
  delete ListView1_;
  delete ListView2_;
}

void Form1::BuildWindow() {
  setWindowTitle(QString::fromLatin1(kTitle));
  setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(TwipsSize(kClientWidthTwips, kClientHeightTwips));
  setCentralWidget(client);

  model1_ = new EntryModel(session_.list1, this);
  model2_ = new EntryModel(session_.list2, this);
  ListView1_ = BuildList("ListView1", model1_, 1);
  ListView1_->setGeometry(Twips(120, 120, 7935, 3615));
  ListView2_ = BuildList("ListView2", model2_, 2);
  ListView2_->setGeometry(Twips(120, 3960, 7935, 2055));

  Label1_ = new QLabel(client);
  Label1_->setObjectName(QStringLiteral("Label1"));
  // The status text keeps its design place; it grows to the right to show its whole text.
  QRect label = Twips(3600, 6120, 600, 315);
  label.setWidth(client->width() - label.left() - kStatusRightMargin);
  Label1_->setGeometry(label);

  BuildMenus();
  BuildButtons();
  setFixedSize(sizeHint());
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

ReportListView* Form1::BuildList(const char* name, EntryModel* model, int list_number) {
  auto* view = new ReportListView(centralWidget());
  view->setObjectName(QString::fromLatin1(name));
  view->setModel(model);
  for (int column = 0; column < static_cast<int>(std::size(kColumnWidths)); ++column) {
    view->setColumnWidth(column, kColumnWidths[column]);
  }
  QHeaderView* header = view->header();
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  header->setSortIndicator(0, Qt::AscendingOrder);
  header->setStretchLastSection(false);
  connect(header, &QHeaderView::sectionClicked, this,
          [this, list_number](int section) { ColumnClick(list_number, section); });
  return view;
}

void Form1::BuildMenus() {
  auto add = [this](QMenu* menu, const char* name, const QString& caption, void (Form1::*handler)()) {
    QAction* action = menu != nullptr ? menu->addAction(caption) : menuBar()->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  HostsOperation_ = menuBar()->addMenu(QStringLiteral("Hosts"));
  HostsOperation_->setObjectName(QStringLiteral("HostsOperation"));
  OpenHostFile_ = add(HostsOperation_, "OpenHostFile", QStringLiteral("Charger le fichier hosts"), &Form1::OpenHostFile_Click);
  ReplaceHosts_ = add(HostsOperation_, "ReplaceHosts", QStringLiteral("Remplacer le fichier hosts"), &Form1::ReplaceHosts_Click);

  Menu_ = menuBar()->addMenu(QStringLiteral("Fichier"));
  Menu_->setObjectName(QStringLiteral("Menu"));
  Ouvrir_ = add(Menu_, "Ouvrir", QStringLiteral("Charger un fichier (format Hosts)"), &Form1::Ouvrir_Click);
  SaveAs_ = add(Menu_, "SaveAs", QStringLiteral("Enregister sous...(format hosts)"), &Form1::SaveAs_Click);
  ChargerDom_ = add(Menu_, "ChargerDom", QStringLiteral("Charger des noms de domaines"), &Form1::ChargerDom_Click);
  ExportDom_ = add(Menu_, "ExportDom", QStringLiteral("Exporter noms de domaines"), &Form1::ExportDom_Click);

  Reset_ = add(nullptr, "Reset", QStringLiteral("Reset"), &Form1::Reset_Click);
  Apropos_ = add(nullptr, "Apropos", QStringLiteral("A propos"), &Form1::Apropos_Click);
}

void Form1::BuildButtons() {
  QWidget* client = centralWidget();
  auto add = [client](const char* name, const QString& caption, QRect place, bool enabled) {
    auto* button = new QPushButton(caption, client);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    button->setEnabled(enabled);
    return button;
  };
  // The button column lies below the visible client area, as designed: the commands are
  // reached through the menus, the buttons keep their states and their tab order.
  Command1_ = add("Command1", QStringLiteral("Charger un fichier "), Twips(7800, 6480, 1815, 375), true);
  Command2_ = add("Command2", QStringLiteral("Trier"), Twips(7800, 7080, 1815, 495), false);
  Command8_ = add("Command8", QStringLiteral("Voir les doublons et les erreurs"), Twips(7800, 7680, 1815, 495), false);
  Command7_ = add("Command7", QStringLiteral("Enregistrer uniquement les noms de domaines"),
                  Twips(7800, 8280, 1815, 495), false);
  Command3_ = add("Command3", QStringLiteral("Enregistrer sous..."), Twips(7800, 8880, 1815, 495), false);
  Command4_ = add("Command4", QStringLiteral("Remplacer le fichier hosts"), Twips(7800, 9480, 1815, 495), false);
  Command5_ = add("Command5", QStringLiteral("Verouiller le fichier hosts"), Twips(7800, 10080, 1815, 495), true);
  Command6_ = add("Command6", QStringLiteral("Charger un fichier(nom de domaines seulement)"),
                  Twips(7800, 10680, 1815, 495), true);
  Command9_ = add("Command9", QStringLiteral("Command9"), Twips(7800, 11640, 1215, 495), true);

  connect(Command2_, &QPushButton::clicked, this, &Form1::Command2_Click);
  connect(Command3_, &QPushButton::clicked, this, &Form1::Command3_Click);
  connect(Command5_, &QPushButton::clicked, this, &Form1::Command5_Click);
  connect(Command6_, &QPushButton::clicked, this, &Form1::Command6_Click);
  connect(Command7_, &QPushButton::clicked, this, &Form1::Command7_Click);
  connect(Command8_, &QPushButton::clicked, this, &Form1::Command8_Click);
  // Command1, Command4 and Command9 do nothing when clicked.

  QWidget* order[] = {Command1_, Command2_, Command3_, Command4_, Command5_, Command7_,
                      Command8_, Command6_, ListView1_, ListView2_, Command9_};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

QString Form1::StatusText() const { return Label1_->text(); }

void Form1::SetStatus(const QString& text) { Label1_->setText(text); }

QString Form1::LoadedCountText() const {
  return QString::number(session_.RowCount()) + QStringLiteral(" Adresse(s) chargée(s)");
}

void Form1::YieldNow() {
  QCoreApplication::processEvents();
  since_yield_.restart();
}

void Form1::YieldSliced() {
  if (since_yield_.elapsed() >= 10) YieldNow();
}

void Form1::RefreshLists() {
  // Order the rows now, offering yields, rather than on the first paint.
  session_.list1.Sort(slice_yield_);
  model1_->Refresh();
  session_.list2.Sort(slice_yield_);
  model2_->Refresh();
}

void Form1::EnableDataMenus() {
  SaveAs_->setEnabled(true);
  ExportDom_->setEnabled(true);
  Reset_->setEnabled(true);
  ReplaceHosts_->setEnabled(true);
}

void Form1::ShowProgress() {
  progress_ = std::make_unique<Form3>(session_);
  progress_->Open();
}

void Form1::CloseProgress() { progress_.reset(); }

void Form1::HideBehindProgress() {
  hide();
  YieldNow();
  ShowProgress();
  YieldNow();
}

void Form1::ComeBackFromProgress() {
  CloseProgress();
  YieldNow();
  RefreshLists();
  show();
}

void Form1::PauseAboutASecond() {
  for (int i = 0; i < kPauseSteps; ++i) {
    YieldNow();
    platform_.Sleep(kPauseStepMs);
    YieldNow();
  }
}

void Form1::HoldProgress() {
  PauseAboutASecond();
  platform_.Sleep(kProgressHoldMs);
  YieldNow();
}

Prompts::Answer Form1::ShowMessage(const QString& text, Prompts::Buttons buttons, Prompts::Icon icon,
                                   const QString& title, const QString& detail) {
  return prompts_.Message(this, text, buttons, icon, title, detail);
}

void Form1::ReportOutOfMemory(const Status& status, const std::string& path) {
  if (status.code() != ErrorCode::kNoMemory) return;
  ShowMessage(texts::kNoMemory, Prompts::Buttons::kOk, Prompts::Icon::kCritical, QString::fromLatin1(kTitle),
              QString::fromStdString(path));
}

QString Form1::FileDialogFolder() const {
  return QString::fromStdString(GetAppFolder(platform_.ExecutablePath()));
}

QString Form1::FileDialogTitle() const { return QString::fromStdString(platform_.ExecutableName()); }

QString Form1::ShowOpenDialog(const QString& description, const QString& pattern) {
  QStringList filters{description + QStringLiteral(" (") + pattern + QStringLiteral(")"),
                      QStringLiteral("Tous les fichiers (*.*) (*)")};
  return prompts_.OpenFileName(this, FileDialogTitle(), FileDialogFolder(), filters, &file_filter_index_);
}

QString Form1::ShowSaveDialog(const QString& description, const QString& pattern) {
  QStringList filters{description + QStringLiteral(" (") + pattern + QStringLiteral(")"),
                      QStringLiteral("Tous les fichiers (*.*) (*)")};
  return prompts_.SaveFileName(this, FileDialogTitle(), FileDialogFolder(), filters, &file_filter_index_);
}

void Form1::ClearLists() {
  YieldNow();
  session_.list1.Clear();
  model1_->Refresh();
  YieldNow();
  session_.list2.Clear();
  model2_->Refresh();
  YieldNow();
}

bool Form1::RefuseBeforeAnyLoad(const QString& text) {
  if (FilesLoaded_ != 0) return false;
  ShowMessage(text, Prompts::Buttons::kOk, Prompts::Icon::kNone);
  return true;
}

void Form1::Reset_Click() {
  CommandScope scope(this);
  setEnabled(false);
  ClearLists();
  SaveAs_->setEnabled(false);
  ExportDom_->setEnabled(false);
  Reset_->setEnabled(false);
  ReplaceHosts_->setEnabled(false);
  YieldNow();
  setEnabled(true);
}

void Form1::ColumnClick(int list_number, int column) {
  if (running_commands_ > 0) return;
  CommandScope scope(this);
  EntryList& list = list_number == 1 ? session_.list1 : session_.list2;
  ReportListView* view = list_number == 1 ? ListView1_ : ListView2_;
  SortDirection direction = list.sort_direction();
  if (static_cast<int>(list.sort_column()) == column) {
    direction = direction == SortDirection::kAscending ? SortDirection::kDescending : SortDirection::kAscending;
  }
  list.SetSort(static_cast<Column>(column), direction);
  setEnabled(false);
  list.Sort(slice_yield_);
  (list_number == 1 ? model1_ : model2_)->Refresh();
  setEnabled(true);
  view->header()->setSortIndicator(column,
                                   direction == SortDirection::kAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void Form1::closeEvent(QCloseEvent* event) {
  if (running_commands_ > 0) {
    // A command is yielding; end the program as soon as it is done.
    close_requested_ = true;
    event->ignore();
    return;
  }
  hide();
  ClearLists();
  event->accept();
  QCoreApplication::exit(0);
}

}  // namespace quorvale
