#include "qt/app_setup.h"

#include <QApplication>
#include <QIcon>

#include "qt/translation.h"

// The icon lives in a resource of the static GUI library, which the program must register.
static void InitIconResource() { Q_INIT_RESOURCE(quorvale); }

namespace quorvale {

void SetUpApplication() {
  QApplication::setApplicationName(QStringLiteral("Quorvale"));
  QApplication::setApplicationVersion(QStringLiteral(QUORVALE_VERSION));
  InstallFrenchTranslation();
  InitIconResource();
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/quorvale/quorvale.png")));
}

}  // namespace quorvale
