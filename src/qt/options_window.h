#pragma once

#include <QDialog>

#include "forms/options_form.h"

class QCheckBox;
class QKeyEvent;

namespace quorvale {

// The options window on Qt, modal, as OptionsForm designs it; OptionsForm decides what its clicks do.
class OptionsWindow : public QDialog, public OptionsView {
  Q_OBJECT

 public:
  OptionsWindow(OptionsForm& form, QWidget* parent = nullptr);

  // OptionsView.
  bool IsChecked(OptionsBox box) const override;
  void SetChecked(OptionsBox box, bool checked) override;
  void Close() override;

 protected:
  // Enter and Escape do nothing in this window.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QCheckBox* Box(OptionsBox box) const;
  // Where the system's font is wider than the design's, widens the controls that would cut
  // their texts, moves the ones after them on their row and widens the window.
  void FitTexts();

  OptionsForm& form_;
  QCheckBox* www_box_;
  QCheckBox* loopback_box_;
  QCheckBox* zero_box_;
};

}  // namespace quorvale
