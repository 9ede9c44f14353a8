#include "qt/backups_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <iterator>

#include "qt/dialog_parts.h"

namespace quorvale {

BackupsWindow::BackupsWindow(BackupsForm& form, QWidget* parent) : QDialog(parent), form_(form) {
  setObjectName(QStringLiteral("frmBackups"));
  setWindowTitle(QString::fromUtf8(BackupsForm::kCaption));
  list_ = NewRowList("List1", BackupsForm::kColumns, this);
  list_->setColumnWidth(0, BackupsForm::kDateColumnWidth);
  list_->horizontalHeader()->setStretchLastSection(true);
  list_->setFixedSize(BackupsForm::kListWidth, BackupsForm::kListHeight);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  QPushButton* restore = AddButton(buttons, "Command1", BackupsForm::kRestoreCaption, this);
  QPushButton* cancel = AddButton(buttons, "Command2", BackupsForm::kCancelCaption, this);
  connect(restore, &QPushButton::clicked, this, [this] { form_.RestoreSelected(); });
  connect(cancel, &QPushButton::clicked, this, [this] { form_.Cancel(); });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  form_.Start(this);
}

void BackupsWindow::SetRows(const std::vector<std::array<std::string, 3>>& rows) {
  list_->setRowCount(static_cast<int>(rows.size()));
  for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
    for (int column = 0; column < 3; ++column) {
      auto* item = new QTableWidgetItem(QString::fromStdString(rows[row][column]));
      if (column > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      list_->setItem(row, column, item);
    }
  }
  if (!rows.empty()) list_->selectRow(0);
}

void BackupsWindow::SetEntries(int row, const std::string& text) {
  QTableWidgetItem* item = list_->item(row, BackupsForm::kEntriesColumn);
  if (item != nullptr) item->setText(QString::fromStdString(text));
}

int BackupsWindow::SelectedRow() const {
  const QModelIndexList rows = list_->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void BackupsWindow::done(int result) {
  form_.WindowClosing();
  QDialog::done(result);
}

void BackupsWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The counting starts from the event loop, once the window has been shown.
  QMetaObject::invokeMethod(this, [this] { form_.CountEntries(); }, Qt::QueuedConnection);
}

}  // namespace quorvale
