#pragma once

#include <QDialog>

#include "forms/options_form.h"

class QCheckBox;
class QKeyEvent;

namespace quorvale {

// The options window on Qt, modal, as Form2 designs it; Form2 decides what its clicks do.
class Form2Window : public QDialog, public Form2View {
  Q_OBJECT

 public:
  Form2Window(Form2& form, QWidget* parent = nullptr);

  // Form2View.
  bool IsChecked(Form2Box box) const override;
  void SetChecked(Form2Box box, bool checked) override;
  void Close() override;

 protected:
  // Enter and Escape do nothing in this window.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QCheckBox* Box(Form2Box box) const;
  // Where the system's font is wider than the design's, widens the controls that would cut
  // their texts, moves the ones after them on their row and widens the window.
  void FitTexts();

  Form2& form_;
  QCheckBox* check1_;
  QCheckBox* check2_;
  QCheckBox* check3_;
};

}  // namespace quorvale
