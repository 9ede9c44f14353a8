#pragma once

#include <QWidget>

#include "forms/progress_form.h"

class QLabel;
class QTimer;

namespace quorvale {

// The progress window on Qt: borderless, centred, its labels set by Form3, its timer ticking
// Form3 until the window goes.
class Form3Window : public QWidget, public Form3View {
  Q_OBJECT

 public:
  explicit Form3Window(Form3& form, QWidget* parent = nullptr);
  ~Form3Window() override;

  // Shows the window modeless in the centre of the screen and starts the timer.
  void Open();

  // Form3View.
  void SetLabelText(int label_number, const std::string& text) override;

 private:
  Form3& form_;
  QLabel* label1_;
  QLabel* label2_;
  QTimer* timer1_;
};

}  // namespace quorvale
