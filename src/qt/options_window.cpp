#include "qt/options_window.h"

#include <vector>

#include <QCheckBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "qt/twips.h"

namespace quorvale {

namespace {

template <typename T>
T* AddControl(QWidget* parent, const options_form_design::ControlDesign& design) {
  auto* control = new T(QString::fromUtf8(design.caption), parent);
  control->setObjectName(QString::fromLatin1(design.name));
  control->setGeometry(Twips(design.place));
  return control;
}

}  // namespace

OptionsWindow::OptionsWindow(OptionsForm& form, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint),
      form_(form) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(QString::fromUtf8(options_form_design::kCaption));
  setModal(true);
  resize(TwipsSize(options_form_design::kWidthTwips, options_form_design::kHeightTwips));
  QFont design_font = font();
  design_font.setPointSize(options_form_design::kFontPoints);
  setFont(design_font);

  AddControl<QLabel>(this, options_form_design::kAddressLabel);
  loopback_box_ = AddControl<QCheckBox>(this, options_form_design::kLoopbackBox);
  zero_box_ = AddControl<QCheckBox>(this, options_form_design::kZeroBox);
  www_box_ = AddControl<QCheckBox>(this, options_form_design::kWwwBox);
  auto* ok = AddControl<QPushButton>(this, options_form_design::kOkButton);
  auto* cancel = AddControl<QPushButton>(this, options_form_design::kCancelButton);
  ok->setAutoDefault(false);
  cancel->setAutoDefault(false);

  QWidget* previous = nullptr;
  for (const char* name : options_form_design::kTabOrder) {
    auto* widget = findChild<QWidget*>(QString::fromLatin1(name));
    if (previous != nullptr) setTabOrder(previous, widget);
    previous = widget;
  }

  // `clicked` comes from the user's clicks only, after the box changed its state.
  connect(loopback_box_, &QCheckBox::clicked, this, [this] { form_.LoopbackBoxClicked(); });
  connect(zero_box_, &QCheckBox::clicked, this, [this] { form_.ZeroBoxClicked(); });
  connect(ok, &QPushButton::clicked, this, [this] { form_.Accept(); });
  connect(cancel, &QPushButton::clicked, this, [this] { form_.Cancel(); });

  FitTexts();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
  }
  form_.Start(this);
  www_box_->setFocus();
}

void OptionsWindow::FitTexts() {
  // The controls that show a text of their own.
  std::vector<QWidget*> widgets;
  std::vector<options_form_design::TextControl> controls;
  for (QWidget* control : findChildren<QWidget*>()) {
    if (qobject_cast<QLabel*>(control) != nullptr || qobject_cast<QCheckBox*>(control) != nullptr) {
      widgets.push_back(control);
      controls.push_back({{control->x(), control->y(), control->width(), control->height()},
                          control->sizeHint().width()});
    }
  }
  const int width = options_form_design::FitTexts(&controls, this->width(), options_form_design::kControlGap);
  for (size_t i = 0; i < widgets.size(); ++i) {
    const Rect& place = controls[i].place;
    widgets[i]->setGeometry(place.left, place.top, place.width, place.height);
  }
  resize(width, height());
}

QCheckBox* OptionsWindow::Box(OptionsBox box) const {
  switch (box) {
    case OptionsBox::kWwwLines:
      return www_box_;
    case OptionsBox::kLoopbackAddress:
      return loopback_box_;
    case OptionsBox::kZeroAddress:
      return zero_box_;
  }
  return nullptr;
}

bool OptionsWindow::IsChecked(OptionsBox box) const { return Box(box)->isChecked(); }

void OptionsWindow::SetChecked(OptionsBox box, bool checked) { Box(box)->setChecked(checked); }

void OptionsWindow::Close() { close(); }

void OptionsWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->accept();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

}  // namespace quorvale
