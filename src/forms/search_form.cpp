#include "forms/search_form.h"

namespace quorvale {

void SearchForm::Accept() {
  text_ = view_->Text();
  view_->Close();
}

void SearchForm::Cancel() {
  text_.clear();
  view_->Close();
}

}  // namespace quorvale
