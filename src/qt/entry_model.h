#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <QAbstractTableModel>

#include "core/entry_list.h"

namespace quorvale {

// A list view's rows, straight from the session's EntryList (no copies). Call Refresh()
// after the list changed.
//
// Names and comments are kept as bytes; `shown_text` gives the UTF-8 text a cell shows for
// them (Form1::ShownText).
class EntryModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  using ShownTextFn = std::function<std::string(std::string_view bytes)>;

  EntryModel(EntryList& list, ShownTextFn shown_text, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  void Refresh();

 private:
  EntryList& list_;
  ShownTextFn shown_text_;
};

}  // namespace quorvale
