#include "forms/options_form.h"

#include <algorithm>
#include <map>

#include "core/session.h"

namespace quorvale {

void OptionsForm::Start(OptionsView* view) {
  view_ = view;
  view_->SetChecked(OptionsBox::kLoopbackAddress, true);
  view_->SetChecked(OptionsBox::kZeroAddress, false);
  view_->SetChecked(OptionsBox::kWwwLines, true);
}

// A click has already changed its box; setting the other box reports no click, so one click
// settles both address boxes (exactly one of them checked).
void OptionsForm::LoopbackBoxClicked() {
  if (view_->IsChecked(OptionsBox::kLoopbackAddress)) view_->SetChecked(OptionsBox::kZeroAddress, false);
  if (!view_->IsChecked(OptionsBox::kLoopbackAddress)) view_->SetChecked(OptionsBox::kZeroAddress, true);
}

void OptionsForm::ZeroBoxClicked() {
  if (view_->IsChecked(OptionsBox::kZeroAddress)) view_->SetChecked(OptionsBox::kLoopbackAddress, false);
  if (!view_->IsChecked(OptionsBox::kLoopbackAddress)) view_->SetChecked(OptionsBox::kZeroAddress, true);
}

void OptionsForm::Accept() {
  session_.RedirectAddress = view_->IsChecked(OptionsBox::kLoopbackAddress) ? "127.0.0.1" : "0.0.0.0";
  session_.AddWwwLines = view_->IsChecked(OptionsBox::kWwwLines);
  session_.OptionsAccepted = true;
  view_->Close();
}

void OptionsForm::Cancel() {
  session_.OptionsAccepted = false;
  view_->Close();
}

int options_form_design::FitTexts(std::vector<TextControl>* controls, int window_width, int gap) {
  std::map<int, std::map<int, TextControl*>> rows;  // top -> left -> control
  for (TextControl& control : *controls) rows[control.place.top][control.place.left] = &control;
  int right = window_width;
  for (auto& [top, row] : rows) {
    int room_from = 0;
    for (auto& [left, control] : row) {
      control->place.left = std::max(left, room_from);
      control->place.width = std::max(control->place.width, control->text_width);
      room_from = control->place.left + control->place.width + gap;
    }
    right = std::max(right, room_from);
  }
  return right;
}

}  // namespace quorvale
