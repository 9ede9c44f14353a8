#include "gui/form3.h"

#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include "core/session.h"
#include "gui/texts.h"
#include "gui/twips.h"

namespace quorvale {

namespace {

// The window: 4695 x 1005 twips.
constexpr int kWidthTwips = 4695;
constexpr int kHeightTwips = 1005;
constexpr double kCaptionFontPoints = 13.5;
// How often the count of loaded entries is shown again.
constexpr int kTickMs = 100;

}  // namespace

Form3::Form3(const Session& session, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), session_(session) {
  setObjectName(QStringLiteral("Form3"));
  setWindowTitle(QStringLiteral("Form3"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  setFixedSize(TwipsSize(kWidthTwips, kHeightTwips));

  label1_ = new QLabel(texts::kLoading, this);
  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->setAlignment(Qt::AlignCenter);
  label1_->setGeometry(0, 8, 305, 33);
  QFont big = label1_->font();
  big.setPointSizeF(kCaptionFontPoints);
  label1_->setFont(big);

  label2_ = new QLabel(QStringLiteral("0 Entree"), this);
  label2_->setObjectName(QStringLiteral("Label2"));
  label2_->setAlignment(Qt::AlignCenter);
  label2_->setGeometry(32, 40, 233, 17);

  timer1_ = new QTimer(this);
  timer1_->setObjectName(QStringLiteral("Timer1"));
  timer1_->setInterval(kTickMs);
  connect(timer1_, &QTimer::timeout, this, &Form3::Tick);
}

Form3::~Form3() { timer1_->stop(); }

void Form3::Open() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  show();
  QCoreApplication::processEvents();
  timer1_->start();
}

void Form3::Tick() {
  label2_->setText(QString::number(session_.EntriesLoaded) + QStringLiteral(" Entrees"));
}

}  // namespace quorvale
