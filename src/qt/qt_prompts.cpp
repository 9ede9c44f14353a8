#include "qt/qt_prompts.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace quorvale {

namespace {

std::string RunFileDialog(QWidget* parent, QFileDialog::AcceptMode mode, const std::string& title,
                          const std::string& folder, const std::vector<FileFilter>& filters, int* filter_index) {
  QFileDialog dialog(parent, QString::fromStdString(title), QString::fromStdString(folder));
  dialog.setAcceptMode(mode);
  // Any name may be typed, also of a file that does not exist yet; nothing is added to it.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  // Qt reads a filter's patterns from the parentheses at its end; only the description is
  // shown.
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  QStringList names;
  for (const FileFilter& filter : filters) {
    names << QString::fromStdString(filter.description + " (" + filter.pattern + ")");
  }
  dialog.setNameFilters(names);
  if (*filter_index >= 0 && *filter_index < names.size()) dialog.selectNameFilter(names[*filter_index]);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  const int chosen = static_cast<int>(names.indexOf(dialog.selectedNameFilter()));
  if (chosen >= 0) *filter_index = chosen;
  return dialog.selectedFiles().first().trimmed().toStdString();
}

}  // namespace

QWidget* QtPrompts::Parent() const {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return owner_.data();
}

Prompts::Answer QtPrompts::Message(const std::string& text, Buttons buttons, Icon icon, const std::string& title,
                                   const std::string& detail) {
  QMessageBox box(Parent());
  box.setWindowTitle(QString::fromStdString(title));
  box.setText(QString::fromStdString(text));
  if (!detail.empty()) box.setDetailedText(QString::fromStdString(detail));
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
    case Buttons::kYesNoDefaultNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::No);
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
      // Escape or the close box.
      return DismissedAnswer(buttons);
  }
}

std::string QtPrompts::OpenFileName(const std::string& title, const std::string& folder,
                                    const std::vector<FileFilter>& filters, int* filter_index) {
  return RunFileDialog(Parent(), QFileDialog::AcceptOpen, title, folder, filters, filter_index);
}

std::string QtPrompts::SaveFileName(const std::string& title, const std::string& folder,
                                    const std::vector<FileFilter>& filters, int* filter_index) {
  return RunFileDialog(Parent(), QFileDialog::AcceptSave, title, folder, filters, filter_index);
}

}  // namespace quorvale
