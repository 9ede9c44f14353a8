#include "qt/entry_model.h"

#include <utility>

namespace quorvale {

EntryModel::EntryModel(EntryList& list, ShownTextFn shown_text, QObject* parent)
    : QAbstractTableModel(parent), list_(list), shown_text_(std::move(shown_text)) {}

int EntryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(list_.size());
}

int EntryModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant EntryModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || static_cast<size_t>(index.row()) >= list_.size() ||
      list_.sorting()) {
    return QVariant();
  }
  const std::string text =
      shown_text_(list_.Text(static_cast<size_t>(index.row()), static_cast<Column>(index.column())));
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant EntryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QVariant();
  switch (section) {
    case 0:
      return QStringLiteral("Domaine");
    case 1:
      return QStringLiteral("Description");
    case 2:
      return QStringLiteral("Redirection");
    default:
      return QVariant();
  }
}

void EntryModel::Refresh() {
  beginResetModel();
  endResetModel();
}

}  // namespace quorvale
