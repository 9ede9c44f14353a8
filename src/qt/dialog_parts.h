#pragma once

#include <QBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTableWidget>

#include <span>

namespace quorvale {

// A push button called `name` showing `caption` (UTF-8), added to the end of `layout`.
inline QPushButton* AddButton(QBoxLayout* layout, const char* name, const char* caption, QWidget* parent) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  layout->addWidget(button);
  return button;
}

// Makes `button` the default button of `dialog` (the one Enter presses) and the only one ever
// drawn as such: no other button of the dialog becomes the default by taking the focus.
inline void MakeOnlyDefault(QWidget* dialog, QPushButton* button) {
  for (QPushButton* other : dialog->findChildren<QPushButton*>()) other->setAutoDefault(false);
  button->setDefault(true);
}

// A list of rows called `name` with the column headers `columns` (UTF-8): one row selected
// at a time, nothing edited in place, no grid and no row numbers.
inline QTableWidget* NewRowList(const char* name, std::span<const char* const> columns, QWidget* parent) {
  auto* list = new QTableWidget(0, static_cast<int>(columns.size()), parent);
  list->setObjectName(QString::fromLatin1(name));
  QStringList headers;
  for (const char* column : columns) headers << QString::fromUtf8(column);
  list->setHorizontalHeaderLabels(headers);
  list->verticalHeader()->hide();
  list->setShowGrid(false);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  return list;
}

}  // namespace quorvale
