#pragma once

#include <QWidget>

#include "forms/progress_form.h"

class QLabel;
class QTimer;

namespace quorvale {

// The progress window on Qt: borderless, centred, its labels set by ProgressForm, its timer ticking
// ProgressForm until the window goes.
class ProgressWindow : public QWidget, public ProgressView {
  Q_OBJECT

 public:
  explicit ProgressWindow(ProgressForm& form, QWidget* parent = nullptr);
  ~ProgressWindow() override;

  // Shows the window modeless in the centre of the screen and starts the timer.
  void Open();

  // ProgressView.
  void SetLabelText(int label_number, const std::string& text) override;

 protected:
  // The close box (Alt+F4) goes to ProgressForm; the window stays.
  void closeEvent(QCloseEvent* event) override;

 private:
  ProgressForm& form_;
  QLabel* heading_;
  QLabel* count_;
  QTimer* timer_;
};

}  // namespace quorvale
