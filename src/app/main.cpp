#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "gui/form1.h"
#include "gui/prompts.h"
#include "platform/platform.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quorvale"));
  QApplication::setApplicationVersion(QStringLiteral(QUORVALE_VERSION));

  // The program speaks French; Qt's own buttons must too ("Oui", "Non", "Annuler").
  QTranslator qt_translator;
  if (qt_translator.load(QLocale(QLocale::French), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qt_translator);
  }

  std::unique_ptr<quorvale::Platform> platform = quorvale::CreateSystemPlatform();
  quorvale::QtPrompts prompts;
  quorvale::Form1 form(*platform, prompts);
  form.show();
  return QApplication::exec();
}
