#include "qt/progress_window.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#ifdef QUORVALE_X11_WINDOW_STATE
#include <xcb/xcb.h>
#endif

#include "qt/twips.h"

namespace quorvale {

namespace {

QRect Pixels(const Rect& place) { return QRect(place.left, place.top, place.width, place.height); }

// On X11 a window is kept out of the task bar and the pager by its _NET_WM_STATE, for which
// Qt has no flag. The state goes on before the window is first shown: the window manager
// reads it when the window maps, and Qt adds its own states to it rather than replacing it.
// Other platforms go without.
void KeepOutOfTaskbar(QWidget* window) {
#ifdef QUORVALE_X11_WINDOW_STATE
  // The offscreen platform answers for X11 too, without a connection of its own.
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (QGuiApplication::platformName() != QStringLiteral("xcb") || x11 == nullptr) return;
  xcb_connection_t* connection = x11->connection();
  if (connection == nullptr) return;
  constexpr std::array<const char*, 3> kNames = {"_NET_WM_STATE", "_NET_WM_STATE_SKIP_TASKBAR",
                                                 "_NET_WM_STATE_SKIP_PAGER"};
  std::array<xcb_intern_atom_cookie_t, kNames.size()> cookies;
  for (size_t i = 0; i < kNames.size(); ++i) {
    cookies[i] = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(kNames[i])), kNames[i]);
  }
  std::array<xcb_atom_t, kNames.size()> atoms = {};
  for (size_t i = 0; i < kNames.size(); ++i) {
    if (xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookies[i], nullptr)) {
      atoms[i] = reply->atom;
      std::free(reply);
    }
  }
  if (atoms[0] == XCB_ATOM_NONE || atoms[1] == XCB_ATOM_NONE || atoms[2] == XCB_ATOM_NONE) return;
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window->winId()), atoms[0],
                      XCB_ATOM_ATOM, 32, 2, &atoms[1]);
  xcb_flush(connection);
#else
  (void)window;
#endif
}

}  // namespace

Form3Window::Form3Window(ProgressForm& form, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), form_(form) {
  setObjectName(QStringLiteral("Form3"));
  setWindowTitle(QStringLiteral("Form3"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  setFixedSize(TwipsSize(ProgressForm::kWidthTwips, ProgressForm::kHeightTwips));

  label1_ = new QLabel(this);
  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->setAlignment(Qt::AlignCenter);
  label1_->setGeometry(Pixels(ProgressForm::kHeadingPixels));
  QFont big = label1_->font();
  big.setPointSizeF(ProgressForm::kHeadingFontPoints);
  label1_->setFont(big);

  label2_ = new QLabel(this);
  label2_->setObjectName(QStringLiteral("Label2"));
  label2_->setAlignment(Qt::AlignCenter);
  label2_->setGeometry(Pixels(ProgressForm::kCountPixels));

  timer1_ = new QTimer(this);
  timer1_->setObjectName(QStringLiteral("Timer1"));
  timer1_->setInterval(ProgressForm::kTickMs);
  connect(timer1_, &QTimer::timeout, this, [this] { form_.Tick(); });
  form_.Start(this);
}

Form3Window::~Form3Window() { timer1_->stop(); }

void Form3Window::Open() {
  KeepOutOfTaskbar(this);
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
