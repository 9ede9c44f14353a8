#pragma once

#include <QDialog>

#include "forms/search_form.h"

class QLineEdit;

namespace quorvale {

// The find window on Qt, modal; SearchForm decides what its buttons do. "OK" is the default
// button; Escape and the close box leave without a text, as "Annuler" does.
class SearchWindow : public QDialog, public SearchView {
  Q_OBJECT

 public:
  SearchWindow(SearchForm& form, QWidget* parent = nullptr);

  // SearchView.
  std::string Text() const override;
  void Close() override { close(); }

 private:
  SearchForm& form_;
  QLineEdit* text_;
};

}  // namespace quorvale
