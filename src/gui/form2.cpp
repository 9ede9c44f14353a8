#include "gui/form2.h"

#include <QCheckBox>
#include <algorithm>
#include <initializer_list>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "core/session.h"
#include "gui/twips.h"

namespace quorvale {

namespace {

// The window: 5430 x 1845 twips.
constexpr int kWidthTwips = 5430;
constexpr int kHeightTwips = 1845;
// The font the controls' design sizes were made for.
constexpr int kDesignFontPoints = 8;

}  // namespace

Form2::Form2(Session& session, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint),
      session_(session) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(QStringLiteral("Options"));
  setModal(true);
  // The controls keep their design sizes, which were made for an 8-point font; a larger
  // default font would cut their texts.
  resize(TwipsSize(kWidthTwips, kHeightTwips));
  QFont design_font = font();
  design_font.setPointSize(kDesignFontPoints);
  setFont(design_font);

  label1_ = new QLabel(QStringLiteral("Choisissez l'adresse de redirection:"), this);
  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->setGeometry(Twips(240, 360, 2655, 255));
  check2_ = new QCheckBox(QStringLiteral("127.0.0.1"), this);
  check2_->setObjectName(QStringLiteral("Check2"));
  check2_->setGeometry(Twips(3120, 360, 975, 255));
  check2_->setChecked(true);
  check3_ = new QCheckBox(QStringLiteral("0.0.0.0"), this);
  check3_->setObjectName(QStringLiteral("Check3"));
  check3_->setGeometry(Twips(4440, 360, 855, 255));
  check1_ = new QCheckBox(QStringLiteral("Ajouter une ligne avec www. pour chaque entree"), this);
  check1_->setObjectName(QStringLiteral("Check1"));
  check1_->setGeometry(Twips(240, 840, 3855, 255));
  check1_->setChecked(true);
  command1_ = new QPushButton(QStringLiteral("OK"), this);
  command1_->setObjectName(QStringLiteral("Command1"));
  command1_->setGeometry(Twips(1440, 1320, 1095, 375));
  command2_ = new QPushButton(QStringLiteral("Annuler"), this);
  command2_->setObjectName(QStringLiteral("Command2"));
  command2_->setGeometry(Twips(2880, 1320, 1095, 375));
  // Neither button answers Enter or Escape.
  command1_->setAutoDefault(false);
  command2_->setAutoDefault(false);

  setTabOrder(check1_, check2_);
  setTabOrder(check2_, check3_);
  setTabOrder(check3_, command1_);
  setTabOrder(command1_, command2_);

  // `clicked` fires for the user's clicks only, after the box changed its state: a handler
  // that sets the other box does not run that box's handler, so one click settles both
  // address boxes (exactly one of them checked).
  connect(check2_, &QCheckBox::clicked, this, &Form2::Check2Click);
  connect(check3_, &QCheckBox::clicked, this, &Form2::Check3Click);
  connect(command1_, &QPushButton::clicked, this, &Form2::Command1Click);
  connect(command2_, &QPushButton::clicked, this, &Form2::Command2Click);

  // Where the system's font is wider than the design's, a control grows to the right to show
  // its whole text, and the window with it; the design places are kept.
  int right = width();
  for (QWidget* control : std::initializer_list<QWidget*>{label1_, check1_, check2_, check3_}) {
    control->resize(std::max(control->width(), control->sizeHint().width()), control->height());
    right = std::max(right, control->geometry().right() + 8);
  }
  resize(right, height());

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
  }
}

void Form2::Check2Click() {
  if (check2_->isChecked()) check3_->setChecked(false);
  if (!check2_->isChecked()) check3_->setChecked(true);
}

void Form2::Check3Click() {
  if (check3_->isChecked()) check2_->setChecked(false);
  if (!check2_->isChecked()) check3_->setChecked(true);
}

void Form2::Command1Click() {
  session_.RedirectAddress = check2_->isChecked() ? "127.0.0.1" : "0.0.0.0";
  session_.AddWwwLines = check1_->isChecked();
  session_.OptionsAccepted = true;
  accept();
}

void Form2::Command2Click() {
  session_.OptionsAccepted = false;
  reject();
}

}  // namespace quorvale
