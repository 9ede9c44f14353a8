#pragma once

#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

namespace quorvale {

// Every question, message and file dialog the windows show goes through Prompts, so tests
// can answer them and record what was asked.
class Prompts {
 public:
  enum class Buttons { kOk, kOkCancel, kYesNo };
  enum class Icon { kNone, kCritical };
  enum class Answer { kOk, kCancel, kYes, kNo };

  virtual ~Prompts() = default;

  // `detail`, when not empty, is the box's detail text (a path, the system's reason).
  virtual Answer Message(QWidget* parent, const QString& text, Buttons buttons, Icon icon,
                         const QString& title, const QString& detail) = 0;

  // File dialogs. `filters` are "description (pattern)" texts offered in order;
  // `*filter_index` (0-based) is preselected and receives the user's choice. Returns "" on
  // cancel. No overwrite prompt, no default extension; typed names of missing files are
  // accepted by both.
  virtual QString OpenFileName(QWidget* parent, const QString& title, const QString& folder,
                               const QStringList& filters, int* filter_index) = 0;
  virtual QString SaveFileName(QWidget* parent, const QString& title, const QString& folder,
                               const QStringList& filters, int* filter_index) = 0;

  // Shows a modal window and returns when it is closed.
  virtual void RunModal(QDialog* dialog) = 0;
};

// The real dialogs of Qt.
class QtPrompts : public Prompts {
 public:
  Answer Message(QWidget* parent, const QString& text, Buttons buttons, Icon icon, const QString& title,
                 const QString& detail) override;
  QString OpenFileName(QWidget* parent, const QString& title, const QString& folder, const QStringList& filters,
                       int* filter_index) override;
  QString SaveFileName(QWidget* parent, const QString& title, const QString& folder, const QStringList& filters,
                       int* filter_index) override;
  void RunModal(QDialog* dialog) override;
};

}  // namespace quorvale
