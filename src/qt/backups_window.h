#pragma once

#include <QDialog>

#include "forms/backups_form.h"

class QTableWidget;

namespace quorvale {

// The backups window on Qt, modal; BackupsForm fills it and decides what its buttons do.
// Once on screen, it lets BackupsForm count the copies' entries from its event loop.
class BackupsWindow : public QDialog, public BackupsView {
  Q_OBJECT

 public:
  BackupsWindow(BackupsForm& form, QWidget* parent = nullptr);

  // BackupsView.
  void SetRows(const std::vector<std::array<std::string, 3>>& rows) override;
  void SetEntries(int row, const std::string& text) override;
  int SelectedRow() const override;
  void Close() override { close(); }

  // Every way the window closes ends here.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  BackupsForm& form_;
  QTableWidget* list_;
};

}  // namespace quorvale
