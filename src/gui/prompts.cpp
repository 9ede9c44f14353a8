#include "gui/prompts.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace quorvale {

namespace {

QString RunFileDialog(QWidget* parent, QFileDialog::AcceptMode mode, const QString& title, const QString& folder,
                      const QStringList& filters, int* filter_index) {
  QFileDialog dialog(parent, title, folder);
  dialog.setAcceptMode(mode);
  // Any name may be typed, also of a file that does not exist yet; nothing is added to it.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  // The filters carry their patterns after the description; only the description is shown.
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setNameFilters(filters);
  if (*filter_index >= 0 && *filter_index < filters.size()) dialog.selectNameFilter(filters[*filter_index]);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  int chosen = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
  if (chosen >= 0) *filter_index = chosen;
  return dialog.selectedFiles().first().trimmed();
}

}  // namespace

Prompts::Answer QtPrompts::Message(QWidget* parent, const QString& text, Buttons buttons, Icon icon,
                                   const QString& title, const QString& detail) {
  QMessageBox box(parent);
  box.setWindowTitle(title);
  box.setText(text);
  if (!detail.isEmpty()) box.setDetailedText(detail);
  switch (icon) {
    case Icon::kNone:
      box.setIcon(QMessageBox::NoIcon);
      break;
    case Icon::kCritical:
      box.setIcon(QMessageBox::Critical);
      break;
  }
  switch (buttons) {
    case Buttons::kOk:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case Buttons::kOkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case Buttons::kYesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Ok:
      return Answer::kOk;
    case QMessageBox::Yes:
      return Answer::kYes;
    case QMessageBox::No:
      return Answer::kNo;
    default:
      // Escape or the close box counts as the negative answer.
      return buttons == Buttons::kYesNo ? Answer::kNo : Answer::kCancel;
  }
}

QString QtPrompts::OpenFileName(QWidget* parent, const QString& title, const QString& folder,
                                const QStringList& filters, int* filter_index) {
  return RunFileDialog(parent, QFileDialog::AcceptOpen, title, folder, filters, filter_index);
}

QString QtPrompts::SaveFileName(QWidget* parent, const QString& title, const QString& folder,
                                const QStringList& filters, int* filter_index) {
  return RunFileDialog(parent, QFileDialog::AcceptSave, title, folder, filters, filter_index);
}

void QtPrompts::RunModal(QDialog* dialog) { dialog->exec(); }

}  // namespace quorvale
