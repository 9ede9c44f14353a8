#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

#include <QApplication>

#include "forms/main_form.h"
#include "platform/platform.h"
#include "qt/app_setup.h"
#include "qt/main_window.h"
#include "qt/qt_prompts.h"

namespace {

constexpr char kHelpText[] =
    "Usage: quorvale [--help | --version]\n"
    "Ouvre la fenetre de Quorvale, le gestionnaire du fichier hosts.\n"
    "Les memes chargements, tris et ecritures sans fenetre: quorvale-cli --help\n"
    "\n"
    "  --help     affiche cette aide\n"
    "  --version  affiche la version\n";

// Whether Qt has somewhere to show the window: an X11 or Wayland display, or a platform named
// by the user (QT_QPA_PLATFORM, -platform), such as offscreen. Without one Qt would abort.
bool HasDisplay(int argc, char* argv[]) {
#ifdef _WIN32
  (void)argc;
  (void)argv;
  return true;
#else
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-platform" || arg == "--platform") return true;
  }
  return false;
#endif
}

}  // namespace

int main(int argc, char* argv[]) {
  // The help and the version are printed before anything of Qt starts, display or not.
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "--version") {
      std::fputs(arg == "--help" ? kHelpText : "quorvale " QUORVALE_VERSION "\n", stdout);
      return std::fflush(stdout) == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
    }
  }
  if (!HasDisplay(argc, argv)) {
    std::fputs("quorvale: aucun affichage graphique (DISPLAY ou WAYLAND_DISPLAY)\n", stderr);
    return EXIT_FAILURE;
  }
  QApplication app(argc, argv);
  quorvale::SetUpApplication();
  quorvale::GuardWritesAgainstSignals();
  std::unique_ptr<quorvale::Platform> platform = quorvale::CreateSystemPlatform();
  quorvale::QtPrompts prompts;
  quorvale::MainForm form(*platform, prompts);
  quorvale::MainWindow window(form);
  prompts.SetOwner(&window);
  window.show();
  return QApplication::exec();
}
