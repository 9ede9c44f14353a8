#pragma once

#include <functional>
#include <string>

#include <QAbstractTableModel>

#include "core/entry_list.h"

namespace quorvale {

// A list view's rows, straight from the session's EntryList (no copies), in the columns that
// MainForm designs. Call Refresh() after the list changed.
//
// `cell_text` gives the UTF-8 text a cell shows (MainForm::CellText).
class EntryModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  using CellTextFn = std::function<std::string(int row, int column)>;

  EntryModel(const EntryList& list, CellTextFn cell_text, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  void Refresh();

 private:
  const EntryList& list_;
  CellTextFn cell_text_;
};

}  // namespace quorvale
