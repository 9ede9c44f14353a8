#pragma once

#include <QDialog>

#include "forms/sources_form.h"
#include "forms/why_form.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace quorvale {

// The Sources window on Qt, modal; SourcesForm fills it and decides what its buttons do.
class SourcesWindow : public QDialog, public SourcesView {
  Q_OBJECT

 public:
  SourcesWindow(SourcesForm& form, QWidget* parent = nullptr);

  // SourcesView.
  void SetRows(const std::vector<Row>& rows) override;
  void SetCell(int row, int column, const std::string& text) override;
  int SelectedRow() const override;
  void SetControlEnabled(SourcesControl control, bool enabled) override;
  void SetDailyChecked(bool checked) override;
  void SetSummary(const std::string& text) override;
  void RunSourceEditor(SourceEditorForm& form) override;
  void RunAllowedNamesWindow(AllowedNamesForm& form) override;
  void Close() override { close(); }

  // Every way the window closes ends here.
  void done(int result) override;

 protected:
  // Enter on the list edits its selected row.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  SourcesForm& form_;
  QTableWidget* list_;
  std::array<QPushButton*, kSourcesControlCount> buttons_{};
  QCheckBox* daily_;
  QLabel* summary_;
};

// The small window that asks for a source's address and kind.
class SourceEditorWindow : public QDialog, public SourceEditorView {
  Q_OBJECT

 public:
  SourceEditorWindow(SourceEditorForm& form, QWidget* parent = nullptr);

  std::string Address() const override;
  SourceKind Kind() const override;
  void SetAddress(const std::string& address) override;
  void SetKind(SourceKind kind) override;
  void Close() override { close(); }

 private:
  QLineEdit* address_;
  QButtonGroup* kinds_;
};

// The names of allow.txt, with "Retirer".
class AllowedNamesWindow : public QDialog, public AllowedNamesView {
  Q_OBJECT

 public:
  AllowedNamesWindow(AllowedNamesForm& form, QWidget* parent = nullptr);

  void SetNames(const std::vector<std::string>& names) override;
  int SelectedRow() const override;
  void Close() override { close(); }

 private:
  QListWidget* list_;
};

// "Pourquoi ce nom ?": the lines that say where the name comes from.
class WhyWindow : public QDialog, public WhyView {
  Q_OBJECT

 public:
  WhyWindow(WhyForm& form, QWidget* parent = nullptr);

  void Close() override { close(); }
};

}  // namespace quorvale
