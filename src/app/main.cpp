#include <QApplication>
#include <memory>

#include "forms/form1.h"
#include "platform/platform.h"
#include "qt/app_setup.h"
#include "qt/form1_window.h"
#include "qt/qt_prompts.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  quorvale::SetUpApplication();
  quorvale::GuardWritesAgainstSignals();
  std::unique_ptr<quorvale::Platform> platform = quorvale::CreateSystemPlatform();
  quorvale::QtPrompts prompts;
  quorvale::Form1 form(*platform, prompts);
  quorvale::Form1Window window(form);
  prompts.SetOwner(&window);
  window.show();
  return QApplication::exec();
}
