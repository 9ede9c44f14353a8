#include "forms/options_form.h"

#include <algorithm>
#include <map>

#include "core/session.h"

namespace quorvale {

void Form2::Form_Load(Form2View* view) {
  view_ = view;
  view_->SetChecked(Form2Box::kCheck2, true);
  view_->SetChecked(Form2Box::kCheck3, false);
  view_->SetChecked(Form2Box::kCheck1, true);
}

// A click has already changed its box; setting the other box reports no click, so one click
// settles both address boxes (exactly one of them checked).
void Form2::Check2_Click() {
  if (view_->IsChecked(Form2Box::kCheck2)) view_->SetChecked(Form2Box::kCheck3, false);
  if (!view_->IsChecked(Form2Box::kCheck2)) view_->SetChecked(Form2Box::kCheck3, true);
}

void Form2::Check3_Click() {
  if (view_->IsChecked(Form2Box::kCheck3)) view_->SetChecked(Form2Box::kCheck2, false);
  if (!view_->IsChecked(Form2Box::kCheck2)) view_->SetChecked(Form2Box::kCheck3, true);
}

void Form2::Command1_Click() {
  session_.RedirectAddress = view_->IsChecked(Form2Box::kCheck2) ? "127.0.0.1" : "0.0.0.0";
  session_.AddWwwLines = view_->IsChecked(Form2Box::kCheck1);
  session_.OptionsAccepted = true;
  view_->Close();
}

void Form2::Command2_Click() {
  session_.OptionsAccepted = false;
  view_->Close();
}

int form2_design::FitTexts(std::vector<TextControl>* controls, int window_width, int gap) {
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
