#pragma once

#include <QBoxLayout>
#include <QPushButton>
#include <QString>

namespace quorvale {

// A push button called `name` showing `caption` (UTF-8), added to the end of `layout`.
inline QPushButton* AddButton(QBoxLayout* layout, const char* name, const char* caption, QWidget* parent) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  layout->addWidget(button);
  return button;
}

}  // namespace quorvale
