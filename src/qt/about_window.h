#pragma once

#include <QDialog>
#include <vector>

#include "forms/about_form.h"

class QLabel;

namespace quorvale {

// The about window on Qt, modal; AboutForm decides what its buttons and links do. "OK" is the
// default button, so Enter and Escape close the window.
class AboutWindow : public QDialog, public AboutView {
  Q_OBJECT

 public:
  AboutWindow(AboutForm& form, QWidget* parent = nullptr);

  // AboutView.
  void Close() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* AddLink(int index);

  AboutForm& form_;
  std::vector<QLabel*> links_;
};

}  // namespace quorvale
