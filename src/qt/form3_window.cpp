#include "qt/form3_window.h"

#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include "qt/twips.h"

namespace quorvale {

namespace {

QRect Pixels(const Rect& place) { return QRect(place.left, place.top, place.width, place.height); }

}  // namespace

Form3Window::Form3Window(Form3& form, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), form_(form) {
  setObjectName(QStringLiteral("Form3"));
  setWindowTitle(QStringLiteral("Form3"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  setFixedSize(TwipsSize(Form3::kWidthTwips, Form3::kHeightTwips));

  label1_ = new QLabel(this);
  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->setAlignment(Qt::AlignCenter);
  label1_->setGeometry(Pixels(Form3::kLabel1Pixels));
  QFont big = label1_->font();
  big.setPointSizeF(Form3::kLabel1FontPoints);
  label1_->setFont(big);

  label2_ = new QLabel(this);
  label2_->setObjectName(QStringLiteral("Label2"));
  label2_->setAlignment(Qt::AlignCenter);
  label2_->setGeometry(Pixels(Form3::kLabel2Pixels));

  timer1_ = new QTimer(this);
  timer1_->setObjectName(QStringLiteral("Timer1"));
  timer1_->setInterval(Form3::kTickMs);
  connect(timer1_, &QTimer::timeout, this, [this] { form_.Timer1_Timer(); });
  form_.Form_Load(this);
}

Form3Window::~Form3Window() { timer1_->stop(); }

void Form3Window::Open() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
  }
  show();
  QCoreApplication::processEvents();
  timer1_->start();
}

void Form3Window::SetLabelText(int label_number, const std::string& text) {
  (label_number == 1 ? label1_ : label2_)->setText(QString::fromStdString(text));
}

}  // namespace quorvale
