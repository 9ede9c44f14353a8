#include "qt/about_window.h"

#include <iterator>

#include <QApplication>
#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvale {

namespace {

constexpr int kIconPixels = 32;
constexpr int kIdentitySpacing = 8;
constexpr int kIconSpacing = 12;

QFrame* NewLine(QWidget* parent) {
  auto* line = new QFrame(parent);
  // Both separators answer to one name, "Line1", so that tests find them as one group.
  line->setObjectName(QStringLiteral("Line1"));
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

QLabel* NewLabel(const char* name, const std::string& text, QWidget* parent) {
  auto* label = new QLabel(QString::fromStdString(text), parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

}  // namespace

AboutWindow::AboutWindow(AboutForm& form, QWidget* parent) : QDialog(parent), form_(form) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setWindowTitle(QString::fromStdString(AboutForm::Caption()));

  auto* image = new QLabel(this);
  image->setObjectName(QStringLiteral("Image1"));
  image->setFixedSize(kIconPixels, kIconPixels);
  image->setPixmap(QApplication::windowIcon().pixmap(kIconPixels, kIconPixels));

  QLabel* title = NewLabel("lblTitle", AboutForm::TitleText(), this);
  QFont title_font = title->font();
  title_font.setWeight(static_cast<QFont::Weight>(AboutForm::kTitleWeight));
  title->setFont(title_font);
  QLabel* version = NewLabel("lblVersion", AboutForm::VersionText(), this);
  QLabel* description = NewLabel("lblDescription", AboutForm::DescriptionText(), this);
  description->setWordWrap(true);

  QLabel* author_caption = NewLabel("Label4", AboutForm::kAuthorCaption, this);
  QLabel* credits_caption = NewLabel("Label3", AboutForm::kCreditsCaption, this);
  for (int i = 0; i < static_cast<int>(std::size(AboutForm::kLinks)); ++i) links_.push_back(AddLink(i));

  auto* ok = new QPushButton(QString::fromUtf8(AboutForm::kOkCaption), this);
  ok->setObjectName(QStringLiteral("cmdOK"));
  ok->setDefault(true);
  ok->setAutoDefault(true);
  auto* sysinfo = new QPushButton(QString::fromUtf8(AboutForm::kSysInfoCaption), this);
  sysinfo->setObjectName(QStringLiteral("cmdSysInfo"));
  // Enter stays with "OK" whichever button has the focus.
  sysinfo->setAutoDefault(false);
  connect(ok, &QPushButton::clicked, this, [this] { form_.Dismiss(); });
  connect(sysinfo, &QPushButton::clicked, this, [this] { form_.ShowSystemInfo(); });

  auto* identity = new QVBoxLayout;
  identity->addWidget(title);
  identity->addWidget(version);
  identity->addSpacing(kIdentitySpacing);
  identity->addWidget(description);
  auto* top = new QHBoxLayout;
  top->addWidget(image, 0, Qt::AlignTop);
  top->addSpacing(kIconSpacing);
  top->addLayout(identity, 1);

  // Label5 (the author) beside "Réalisé par:", the other links under "Avec la participation de:".
  auto* credits = new QGridLayout;
  credits->addWidget(author_caption, 0, 0);
  credits->addWidget(links_[0], 0, 1);
  credits->addWidget(credits_caption, 1, 0, 1, 2);
  for (int i = 1; i < static_cast<int>(links_.size()); ++i) credits->addWidget(links_[i], i + 1, 1);
  credits->setColumnStretch(1, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(sysinfo);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(NewLine(this));
  layout->addLayout(credits);
  layout->addWidget(NewLine(this));
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  form_.Start(this);
}

QLabel* AboutWindow::AddLink(int index) {
  const AboutForm::Link& link = AboutForm::kLinks[index];
  QLabel* label = NewLabel(link.name, link.caption, this);
  QFont font = label->font();
  font.setUnderline(true);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::blue);
  label->setPalette(palette);
  label->setCursor(Qt::PointingHandCursor);
  label->installEventFilter(this);
  return label;
}

bool AboutWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    for (int i = 0; i < static_cast<int>(links_.size()); ++i) {
      if (links_[i] != watched) continue;
      // A click is a press and a release on the label; a release dragged off it is not.
      if (mouse->button() == Qt::LeftButton && links_[i]->rect().contains(mouse->position().toPoint())) {
        form_.OpenLink(i);
        return true;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void AboutWindow::Close() { accept(); }

}  // namespace quorvale
