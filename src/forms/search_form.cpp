#include "forms/search_form.h"

namespace quorvale {

void SearchForm::Command1_Click() {
  text_ = view_->Text();
  view_->Close();
}

void SearchForm::Command2_Click() {
  text_.clear();
  view_->Close();
}

}  // namespace quorvale
