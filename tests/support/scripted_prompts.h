#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <ostream>
#include <functional>
#include <vector>

#include "gui/prompts.h"

namespace quorvale::testing {

// Answers the windows' questions from a script and records everything asked. A question
// without a scripted answer fails the test and gets the negative answer.
class ScriptedPrompts : public Prompts {
 public:
  struct Shown {
    QString text;
    Buttons buttons;
    Icon icon;
    QString title;
    QString detail;
  };
  struct FileDialog {
    bool save;
    QString title;
    QString folder;
    QStringList filters;
    int filter_index;  // preselected
  };
  // What the user does in a file dialog: the path ("" cancels) and the filter picked.
  struct FileChoice {
    QString path;
    int filter_index = -1;  // -1 keeps the preselected one
  };

  std::deque<Answer> answers;
  std::deque<FileChoice> files;
  // Acts on each modal window shown (for example clicks "OK"); the window is then closed.
  std::deque<std::function<void(QDialog*)>> modal_actions;

  std::vector<Shown> messages;
  std::vector<FileDialog> dialogs;
  int modal_count = 0;

  Answer Message(QWidget* parent, const QString& text, Buttons buttons, Icon icon, const QString& title,
                 const QString& detail) override;
  QString OpenFileName(QWidget* parent, const QString& title, const QString& folder, const QStringList& filters,
                       int* filter_index) override;
  QString SaveFileName(QWidget* parent, const QString& title, const QString& folder, const QStringList& filters,
                       int* filter_index) override;
  void RunModal(QDialog* dialog) override;

  // The message texts in order.
  QStringList Texts() const;

 private:
  QString Choose(bool save, const QString& title, const QString& folder, const QStringList& filters,
                 int* filter_index);
};

}  // namespace quorvale::testing

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
