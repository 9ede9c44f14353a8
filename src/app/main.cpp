#include <QApplication>

#include "gui/form1.h"
#include "gui/prompts.h"
#include "gui/translation.h"
#include "platform/platform.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quorvale"));
  QApplication::setApplicationVersion(QStringLiteral(QUORVALE_VERSION));
  quorvale::InstallFrenchTranslation();

  std::unique_ptr<quorvale::Platform> platform = quorvale::CreateSystemPlatform();
  quorvale::QtPrompts prompts;
  quorvale::Form1 form(*platform, prompts);
  form.show();
  return QApplication::exec();
}
