#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace quorvale {

struct Session;

// The options window: the redirection address ("127.0.0.1" or "0.0.0.0", an exclusive
// pair of check boxes) and the "www." lines. "OK" stores the choice in the session,
// "Annuler" only records the refusal, the close box changes nothing. A new window is built
// for every opening, so it always starts from its design state.
class Form2 : public QDialog {
  Q_OBJECT

 public:
  explicit Form2(Session& session, QWidget* parent = nullptr);

 private:
  void Check2Click();
  void Check3Click();
  void Command1Click();
  void Command2Click();

  Session& session_;
  QLabel* label1_;
  QCheckBox* check1_;
  QCheckBox* check2_;
  QCheckBox* check3_;
  QPushButton* command1_;
  QPushButton* command2_;
};

}  // namespace quorvale
