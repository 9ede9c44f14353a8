#include "qt/sources_window.h"

#include <QButtonGroup>
#include <QColor>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

#include "qt/dialog_parts.h"

namespace quorvale {

namespace {

// The buttons' object names, in the order of SourcesControl.
constexpr const char* kButtonNames[] = {"cmdAjouter",  "cmdModifier", "cmdSupprimer", "cmdMettreAJour",
                                        "cmdNomsAutorises", "cmdFermer", "cmdAnnuler"};
static_assert(std::size(kButtonNames) == kSourcesControlCount, "a name for each button");
static_assert(std::size(SourcesForm::kCaptions) == kSourcesControlCount + 1, "a caption for each button and the box");

QString Text(const std::string& text) { return QString::fromStdString(text); }

// Cuts a cell's text at its end, where the view cuts the others' in the middle.
class CutAtEndDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = Qt::ElideRight;
  }
};

}  // namespace

SourcesWindow::SourcesWindow(SourcesForm& form, QWidget* parent) : QDialog(parent), form_(form) {
  setObjectName(QStringLiteral("frmSources"));
  setWindowTitle(QString::fromUtf8(SourcesForm::kCaption));
  list_ = NewRowList("lvSources", SourcesForm::kColumns, this);
  for (int column = 0; column < static_cast<int>(std::size(SourcesForm::kColumnWidths)); ++column) {
    list_->setColumnWidth(column, SourcesForm::kColumnWidths[column]);
  }
  // One line a source; a long address loses its middle, so that its file name shows, and a
  // long state its end, so that it reads from its start.
  list_->setWordWrap(false);
  list_->setTextElideMode(Qt::ElideMiddle);
  list_->setItemDelegateForColumn(SourcesForm::kStateColumn, new CutAtEndDelegate(list_));
  list_->horizontalHeader()->setStretchLastSection(true);
  list_->setFixedSize(SourcesForm::kListWidth, SourcesForm::kListHeight);
  connect(list_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (item->column() == SourcesForm::kAddressColumn) form_.SwitchSource(item->row(), item->checkState() == Qt::Checked);
  });
  connect(list_, &QTableWidget::cellDoubleClicked, this, [this] { form_.EditSelected(); });
  list_->installEventFilter(this);

  // The user's clicks only: the form's own SetDailyChecked does not come back to it.
  daily_ = new QCheckBox(QString::fromUtf8(SourcesForm::kCaptions[SourcesForm::kDailyBox]), this);
  daily_->setObjectName(QStringLiteral("chkQuotidien"));
  connect(daily_, &QCheckBox::clicked, this, [this](bool checked) { form_.SwitchDaily(checked); });

  auto* buttons = new QHBoxLayout;
  for (int i = 0; i < kSourcesControlCount; ++i) {
    if (static_cast<SourcesControl>(i) == SourcesControl::kClose) buttons->addStretch(1);
    buttons_[i] = AddButton(buttons, kButtonNames[i], SourcesForm::kCaptions[i], this);
    connect(buttons_[i], &QPushButton::clicked, this, [this, control = static_cast<SourcesControl>(i)] {
      switch (control) {
        case SourcesControl::kAdd:
          return form_.Add();
        case SourcesControl::kEdit:
          return form_.EditSelected();
        case SourcesControl::kRemove:
          return form_.RemoveSelected();
        case SourcesControl::kUpdate:
          return form_.Update();
        case SourcesControl::kAllowedNames:
          return form_.ShowAllowedNames();
        case SourcesControl::kClose:
          return form_.CloseWindow();
        case SourcesControl::kCancel:
          return form_.CancelUpdate();
      }
    });
  }
  MakeOnlyDefault(this, buttons_[static_cast<int>(SourcesControl::kClose)]);
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("lblResume"));
  auto* under_list = new QHBoxLayout;
  under_list->addWidget(daily_);
  under_list->addSpacing(daily_->fontMetrics().averageCharWidth() * 4);
  under_list->addWidget(summary_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addLayout(under_list);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  form_.Start(this);
}

void SourcesWindow::SetRows(const std::vector<Row>& rows) {
  const QSignalBlocker quiet(list_);
  const int selected = SelectedRow();
  list_->setRowCount(static_cast<int>(rows.size()));
  for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
    for (int column = 0; column < static_cast<int>(rows[row].cells.size()); ++column) {
      auto* item = new QTableWidgetItem(Text(rows[row].cells[column]));
      item->setToolTip(item->text());
      if (column == SourcesForm::kAddressColumn && !rows[row].malformed) {
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(rows[row].enabled ? Qt::Checked : Qt::Unchecked);
      }
      if (rows[row].malformed) {
        item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        item->setForeground(QColor(Qt::darkRed));
      }
      if (column == SourcesForm::kEntriesColumn) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      list_->setItem(row, column, item);
    }
  }
  if (!rows.empty()) list_->selectRow(std::clamp(selected, 0, static_cast<int>(rows.size()) - 1));
}

void SourcesWindow::SetCell(int row, int column, const std::string& text) {
  const QSignalBlocker quiet(list_);
  if (QTableWidgetItem* item = list_->item(row, column)) {
    item->setText(Text(text));
    item->setToolTip(item->text());
  }
}

int SourcesWindow::SelectedRow() const {
  const QModelIndexList rows = list_->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void SourcesWindow::SetControlEnabled(SourcesControl control, bool enabled) {
  buttons_[static_cast<int>(control)]->setEnabled(enabled);
}

void SourcesWindow::SetDailyChecked(bool checked) { daily_->setChecked(checked); }

void SourcesWindow::SetSummary(const std::string& text) { summary_->setText(Text(text)); }

void SourcesWindow::RunSourceEditor(SourceEditorForm& form) { SourceEditorWindow(form, this).exec(); }

void SourcesWindow::RunAllowedNamesWindow(AllowedNamesForm& form) { AllowedNamesWindow(form, this).exec(); }

bool SourcesWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      form_.EditSelected();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void SourcesWindow::done(int result) {
  form_.WindowClosing();
  QDialog::done(result);
}

SourceEditorWindow::SourceEditorWindow(SourceEditorForm& form, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmSource"));
  setWindowTitle(Text(form.caption()));
  auto* label = new QLabel(QString::fromUtf8(SourceEditorForm::kCaptions[SourceEditorForm::kAddressLabel]), this);
  address_ = new QLineEdit(this);
  address_->setObjectName(QStringLiteral("txtAdresse"));
  address_->setMinimumWidth(address_->fontMetrics().averageCharWidth() * SourceEditorForm::kAddressFieldChars);
  label->setBuddy(address_);
  kinds_ = new QButtonGroup(this);
  auto* kinds = new QHBoxLayout;
  for (const SourceKindRow& row : kSourceKinds) {
    const SourceEditorForm::KindCaptions& captions = SourceEditorForm::CaptionsOf(row.kind);
    auto* option = new QRadioButton(QString::fromUtf8(captions.option), this);
    option->setObjectName(QString::fromLatin1(captions.object_name));
    kinds_->addButton(option, static_cast<int>(row.kind));
    kinds->addWidget(option);
  }
  kinds->addStretch(1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  QPushButton* ok = AddButton(buttons, "cmdOK", SourceEditorForm::kCaptions[SourceEditorForm::kOkButton], this);
  QPushButton* cancel =
      AddButton(buttons, "cmdAnnuler", SourceEditorForm::kCaptions[SourceEditorForm::kCancelButton], this);
  MakeOnlyDefault(this, ok);
  connect(ok, &QPushButton::clicked, this, [&form] { form.Accept(); });
  connect(cancel, &QPushButton::clicked, this, [&form] { form.Cancel(); });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(address_);
  layout->addLayout(kinds);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  form.Start(this);
}

std::string SourceEditorWindow::Address() const { return address_->text().toStdString(); }

SourceKind SourceEditorWindow::Kind() const {
  const int checked = kinds_->checkedId();
  return checked < 0 ? kDefaultSourceKind : static_cast<SourceKind>(checked);
}

void SourceEditorWindow::SetAddress(const std::string& address) { address_->setText(Text(address)); }

void SourceEditorWindow::SetKind(SourceKind kind) { kinds_->button(static_cast<int>(kind))->setChecked(true); }

AllowedNamesWindow::AllowedNamesWindow(AllowedNamesForm& form, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmNomsAutorises"));
  setWindowTitle(QString::fromUtf8(AllowedNamesForm::kCaption));
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("lstNoms"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  QPushButton* remove =
      AddButton(buttons, "cmdRetirer", AllowedNamesForm::kCaptions[AllowedNamesForm::kRemoveButton], this);
  QPushButton* close = AddButton(buttons, "cmdFermer", AllowedNamesForm::kCaptions[AllowedNamesForm::kCloseButton], this);
  MakeOnlyDefault(this, close);
  connect(remove, &QPushButton::clicked, this, [&form] { form.RemoveSelected(); });
  connect(close, &QPushButton::clicked, this, [&form] { form.CloseWindow(); });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addLayout(buttons);
  form.Start(this);
}

void AllowedNamesWindow::SetNames(const std::vector<std::string>& names) {
  list_->clear();
  for (const std::string& name : names) list_->addItem(Text(name));
  if (!names.empty()) list_->setCurrentRow(0);
}

int AllowedNamesWindow::SelectedRow() const { return list_->currentRow(); }

WhyWindow::WhyWindow(WhyForm& form, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmPourquoi"));
  setWindowTitle(QString::fromUtf8(WhyForm::kCaption));
  auto* text = new QPlainTextEdit(this);
  text->setObjectName(QStringLiteral("txtPourquoi"));
  text->setReadOnly(true);
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  for (const std::string& line : form.lines()) text->appendPlainText(Text(line));
  text->setMinimumSize(SourcesForm::kListWidth, SourcesForm::kListHeight / 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  QPushButton* allow = AddButton(buttons, "cmdAutoriser", WhyForm::kCaptions[WhyForm::kAllowButton], this);
  QPushButton* close = AddButton(buttons, "cmdFermer", WhyForm::kCaptions[WhyForm::kCloseButton], this);
  // Enter closes, wherever the focus is: it never allows a name.
  MakeOnlyDefault(this, close);
  allow->setEnabled(form.allow_offered());
  connect(allow, &QPushButton::clicked, this, [&form] { form.Allow(); });
  connect(close, &QPushButton::clicked, this, [&form] { form.CloseWindow(); });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addLayout(buttons);
  form.Start(this);
}

}  // namespace quorvale
