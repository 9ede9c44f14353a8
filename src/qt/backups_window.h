#pragma once

#include <QDialog>

#include "forms/backups_form.h"

class QTableWidget;

namespace quorvale {

// The backups window on Qt, modal; BackupsForm fills it and decides what its buttons do.
class BackupsWindow : public QDialog, public BackupsView {
  Q_OBJECT

 public:
  BackupsWindow(BackupsForm& form, QWidget* parent = nullptr);

  // BackupsView.
  void SetRows(const std::vector<std::array<std::string, 3>>& rows) override;
  int SelectedRow() const override;
  void Close() override { close(); }

 private:
  BackupsForm& form_;
  QTableWidget* list1_;
};

}  // namespace quorvale
