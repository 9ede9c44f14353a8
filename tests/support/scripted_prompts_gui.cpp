#include "support/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QDialog>

namespace quorvale::testing {

Prompts::Answer ScriptedPrompts::Message(QWidget*, const QString& text, Buttons buttons, Icon icon,
                                         const QString& title, const QString& detail) {
  messages.push_back({text, buttons, icon, title, detail});
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected message: " << text.toStdString();
    return buttons == Buttons::kYesNo ? Answer::kNo : (buttons == Buttons::kOk ? Answer::kOk : Answer::kCancel);
  }
  Answer answer = answers.front();
  answers.pop_front();
  return answer;
}

QString ScriptedPrompts::Choose(bool save, const QString& title, const QString& folder, const QStringList& filters,
                                int* filter_index) {
  dialogs.push_back({save, title, folder, filters, *filter_index});
  if (files.empty()) {
    ADD_FAILURE() << "unexpected file dialog";
    return QString();
  }
  FileChoice choice = files.front();
  files.pop_front();
  if (choice.filter_index >= 0) *filter_index = choice.filter_index;
  return choice.path;
}

QString ScriptedPrompts::OpenFileName(QWidget*, const QString& title, const QString& folder,
                                      const QStringList& filters, int* filter_index) {
  return Choose(false, title, folder, filters, filter_index);
}

QString ScriptedPrompts::SaveFileName(QWidget*, const QString& title, const QString& folder,
                                      const QStringList& filters, int* filter_index) {
  return Choose(true, title, folder, filters, filter_index);
}

void ScriptedPrompts::RunModal(QDialog* dialog) {
  ++modal_count;
  if (modal_actions.empty()) {
    ADD_FAILURE() << "unexpected modal window " << dialog->objectName().toStdString();
    dialog->reject();
    return;
  }
  auto action = modal_actions.front();
  modal_actions.pop_front();
  dialog->show();
  action(dialog);
  if (dialog->isVisible()) dialog->close();
}

QStringList ScriptedPrompts::Texts() const {
  QStringList texts;
  for (const Shown& shown : messages) texts << shown.text;
  return texts;
}

}  // namespace quorvale::testing
