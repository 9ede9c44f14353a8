#include "qt/entry_model.h"

#include <utility>

#include "forms/main_form_design.h"

namespace quorvale {

EntryModel::EntryModel(const EntryList& list, CellTextFn cell_text, QObject* parent)
    : QAbstractTableModel(parent), list_(list), cell_text_(std::move(cell_text)) {}

int EntryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(list_.size());
}

int EntryModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : main_form_design::kColumnCount;
}

QVariant EntryModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid()) return QVariant();
  const std::string text = cell_text_(index.row(), index.column());
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant EntryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= main_form_design::kColumnCount) {
    return QVariant();
  }
  return QString::fromUtf8(main_form_design::kColumns[section].caption);
}

void EntryModel::Refresh() {
  beginResetModel();
  endResetModel();
}

}  // namespace quorvale
