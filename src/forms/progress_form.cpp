#include "forms/progress_form.h"

#include "core/session.h"
#include "forms/texts.h"

namespace quorvale {

void ProgressForm::Start(ProgressView* view) {
  view_ = view;
  view_->SetLabelText(1, texts::kLoading);
  view_->SetLabelText(2, "0 Entree");
}

void ProgressForm::CloseRequested() {
  if (close_) close_();
}

void ProgressForm::Tick() { view_->SetLabelText(2, std::to_string(session_.EntriesLoaded) + " Entrees"); }

}  // namespace quorvale
