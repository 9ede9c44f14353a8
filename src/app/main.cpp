#include <QApplication>

#include "gui/app_setup.h"
#include "gui/form1.h"
#include "gui/prompts.h"
#include "platform/platform.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  quorvale::SetUpApplication();
  quorvale::GuardWritesAgainstSignals();
  std::unique_ptr<quorvale::Platform> platform = quorvale::CreateSystemPlatform();
  quorvale::QtPrompts prompts;
  quorvale::Form1 form(*platform, prompts);
  form.show();
  return QApplication::exec();
}
