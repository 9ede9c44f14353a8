#pragma once

#include <QAbstractTableModel>

#include "core/entry_list.h"

namespace quorvale {

// A list view's rows, straight from the session's EntryList (no copies). Call Refresh()
// after the list changed.
class EntryModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  EntryModel(EntryList& list, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  void Refresh();

 private:
  EntryList& list_;
};

}  // namespace quorvale
