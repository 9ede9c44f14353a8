#include "qt/progress_window.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <QCloseEvent>
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

ProgressWindow::ProgressWindow(ProgressForm& form, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), form_(form) {
  setObjectName(QStringLiteral("Form3"));
  setWindowTitle(QStringLiteral("Form3"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  setFixedSize(TwipsSize(ProgressForm::kWidthTwips, ProgressForm::kHeightTwips));

  heading_ = new QLabel(this);
  heading_->setObjectName(QStringLiteral("Label1"));
  heading_->setAlignment(Qt::AlignCenter);
  heading_->setGeometry(Pixels(ProgressForm::kHeadingPixels));
  QFont big = heading_->font();
  big.setPointSizeF(ProgressForm::kHeadingFontPoints);
  heading_->setFont(big);

  count_ = new QLabel(this);
  count_->setObjectName(QStringLiteral("Label2"));
  count_->setAlignment(Qt::AlignCenter);
  count_->setGeometry(Pixels(ProgressForm::kCountPixels));

  timer_ = new QTimer(this);
  timer_->setObjectName(QStringLiteral("Timer1"));
  timer_->setInterval(ProgressForm::kTickMs);
  connect(timer_, &QTimer::timeout, this, [this] { form_.Tick(); });
  form_.Start(this);
}

ProgressWindow::~ProgressWindow() { timer_->stop(); }

void ProgressWindow::Open() {
  KeepOutOfTaskbar(this);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
  }
  show();
  QCoreApplication::processEvents();
  timer_->start();
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  form_.CloseRequested();
}

void ProgressWindow::SetLabelText(int label_number, const std::string& text) {
  (label_number == 1 ? heading_ : count_)->setText(QString::fromStdString(text));
}

}  // namespace quorvale
