#include "gui/frm_about.h"

#include <QApplication>
#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "gui/prompts.h"
#include "platform/platform.h"

namespace quorvale {

namespace {

constexpr const char* kTitle = "Quorvale";
constexpr const char* kDescription = "Utilitaire de gestion du fichier Hosts";

// Where the system-information tool is registered, in the order they are tried.
constexpr const char* kSysInfoPathKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr const char* kSysInfoPathValue = "PATH";
constexpr const char* kSysInfoFolderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr const char* kSysInfoFolderValue = "MSINFO";

// "major.minor.revision", each number in decimal without leading zeros.
QString VersionText() {
  const QStringList parts = QStringLiteral(QUORVALE_VERSION).split(QLatin1Char('.'));
  QStringList numbers;
  for (int i = 0; i < 3; ++i) numbers << QString::number(i < parts.size() ? parts[i].toInt() : 0);
  return numbers.join(QLatin1Char('.'));
}

QFrame* NewLine(QWidget* parent) {
  auto* line = new QFrame(parent);
  // Both separators answer to one name, "Line1", so that tests find them as one group.
  line->setObjectName(QStringLiteral("Line1"));
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

}  // namespace

frmAbout::frmAbout(Platform& platform, Prompts& prompts, QWidget* parent)
    : QDialog(parent), platform_(platform), prompts_(prompts) {
  setObjectName(QStringLiteral("frmAbout"));
  BuildWindow();

  // The texts that name the program and its version.
  setWindowTitle(QStringLiteral("About ") + QString::fromLatin1(kTitle));
  lblVersion_->setText(QStringLiteral("Version ") + VersionText());
  lblTitle_->setText(QString::fromLatin1(kTitle));
  lblDescription_->setText(QStringLiteral("Description:\r\n\r\n") + QString::fromUtf8(kDescription));
}

frmAbout::~frmAbout() = default;

void frmAbout::BuildWindow() {
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);

  auto* image = new QLabel(this);
  image->setObjectName(QStringLiteral("Image1"));
  image->setFixedSize(32, 32);
  image->setPixmap(QApplication::windowIcon().pixmap(32, 32));

  lblTitle_ = new QLabel(this);
  lblTitle_->setObjectName(QStringLiteral("lblTitle"));
  QFont title_font = lblTitle_->font();
  title_font.setBold(true);
  title_font.setPointSizeF(title_font.pointSizeF() * 1.5);
  lblTitle_->setFont(title_font);

  lblVersion_ = new QLabel(this);
  lblVersion_->setObjectName(QStringLiteral("lblVersion"));
  lblDescription_ = new QLabel(this);
  lblDescription_->setObjectName(QStringLiteral("lblDescription"));
  lblDescription_->setWordWrap(true);

  auto* Label4 = new QLabel(QStringLiteral("Réalisé par:"), this);
  Label4->setObjectName(QStringLiteral("Label4"));
  QLabel* Label5 = AddLink("Label5", QStringLiteral("Bramidor"), kLabel5Address);
  auto* Label3 = new QLabel(QStringLiteral("Avec la participation de:"), this);
  Label3->setObjectName(QStringLiteral("Label3"));
  QLabel* lblDisclaimer = AddLink("lblDisclaimer", QString::fromLatin1(kDisclaimerAddress), kDisclaimerAddress);
  QLabel* Label1 = AddLink("Label1", QString::fromLatin1(kLabel1Address), kLabel1Address);
  QLabel* Label2 = AddLink("Label2", QString::fromLatin1(kLabel2Address), kLabel2Address);

  cmdOK_ = new QPushButton(QStringLiteral("OK"), this);
  cmdOK_->setObjectName(QStringLiteral("cmdOK"));
  cmdOK_->setDefault(true);
  cmdOK_->setAutoDefault(true);
  cmdSysInfo_ = new QPushButton(QStringLiteral("&System Info..."), this);
  cmdSysInfo_->setObjectName(QStringLiteral("cmdSysInfo"));
  // Enter stays with "OK" whichever button has the focus.
  cmdSysInfo_->setAutoDefault(false);
  connect(cmdOK_, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
  connect(cmdSysInfo_, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);

  auto* identity = new QVBoxLayout;
  identity->addWidget(lblTitle_);
  identity->addWidget(lblVersion_);
  identity->addSpacing(8);
  identity->addWidget(lblDescription_);
  auto* top = new QHBoxLayout;
  top->addWidget(image, 0, Qt::AlignTop);
  top->addSpacing(12);
  top->addLayout(identity, 1);

  auto* credits = new QGridLayout;
  credits->addWidget(Label4, 0, 0);
  credits->addWidget(Label5, 0, 1);
  credits->addWidget(Label3, 1, 0, 1, 2);
  credits->addWidget(lblDisclaimer, 2, 1);
  credits->addWidget(Label1, 3, 1);
  credits->addWidget(Label2, 4, 1);
  credits->setColumnStretch(1, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cmdOK_);
  buttons->addWidget(cmdSysInfo_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(NewLine(this));
  layout->addLayout(credits);
  layout->addWidget(NewLine(this));
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

QLabel* frmAbout::AddLink(const char* name, const QString& text, const char* address) {
  auto* label = new QLabel(text, this);
  label->setObjectName(QString::fromLatin1(name));
  QFont font = label->font();
  font.setUnderline(true);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::blue);
  label->setPalette(palette);
  label->setCursor(Qt::PointingHandCursor);
  label->installEventFilter(this);
  links_.push_back({label, address});
  return label;
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    for (const Link& link : links_) {
      if (link.label != watched) continue;
      // A click is a press and a release on the label; a release dragged off it is not.
      if (mouse->button() == Qt::LeftButton && link.label->rect().contains(mouse->position().toPoint())) {
        // The browser reports nothing back; the links report nothing either.
        (void)platform_.OpenUrl(link.address);
        return true;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void frmAbout::cmdOK_Click() { accept(); }

void frmAbout::cmdSysInfo_Click() { StartSysInfo(); }

bool frmAbout::GetKeyValue(unsigned long KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                           std::string* KeyVal) {
  return platform_.ReadRegistryString(KeyRoot, KeyName, SubKeyRef, KeyVal);
}

void frmAbout::StartSysInfo() {
  std::string path;
  if (GetKeyValue(kHkeyLocalMachine, kSysInfoPathKey, kSysInfoPathValue, &path)) {
    // The registered path is started as it stands, without testing that it exists.
    if (!platform_.StartProgram({path}, /*hidden=*/false).ok()) ShowUnavailable();
    return;
  }
  std::string folder;
  if (GetKeyValue(kHkeyLocalMachine, kSysInfoFolderKey, kSysInfoFolderValue, &folder)) {
    // Registry folders use backslashes; a folder written with slashes only keeps them.
    const char separator = folder.find('/') != std::string::npos && folder.find('\\') == std::string::npos ? '/' : '\\';
    const std::string tool = folder + separator + "MSINFO32.EXE";
    if (platform_.PathFileExists(tool)) {
      if (!platform_.StartProgram({tool}, /*hidden=*/false).ok()) ShowUnavailable();
      return;
    }
  }
  ShowUnavailable();
}

void frmAbout::ShowUnavailable() {
  prompts_.Message(this, QStringLiteral("System Information Is Unavailable At This Time"), Prompts::Buttons::kOk,
                   Prompts::Icon::kNone, QString::fromLatin1(kTitle), QString());
}

}  // namespace quorvale
