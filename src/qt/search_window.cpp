#include "qt/search_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "qt/dialog_parts.h"

namespace quorvale {

SearchWindow::SearchWindow(SearchForm& form, QWidget* parent) : QDialog(parent), form_(form) {
  setObjectName(QStringLiteral("frmSearch"));
  setWindowTitle(QString::fromUtf8(SearchForm::kCaption));
  text_ = new QLineEdit(this);
  text_->setObjectName(QStringLiteral("Text1"));
  text_->setMinimumWidth(fontMetrics().averageCharWidth() * SearchForm::kTextFieldChars);
  auto* label = new QLabel(QString::fromUtf8(SearchForm::kPromptCaption), this);
  label->setObjectName(QStringLiteral("Label1"));
  label->setBuddy(text_);
  auto* field = new QHBoxLayout;
  field->addWidget(label);
  field->addWidget(text_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  QPushButton* ok = AddButton(buttons, "Command1", SearchForm::kOkCaption, this);
  QPushButton* cancel = AddButton(buttons, "Command2", SearchForm::kCancelCaption, this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] { form_.Accept(); });
  connect(cancel, &QPushButton::clicked, this, [this] { form_.Cancel(); });
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(field);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  form_.Start(this);
}

std::string SearchWindow::Text() const { return text_->text().toStdString(); }

}  // namespace quorvale
