#include <clocale>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "cli/cli_runner.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  // The system's reasons for a failure (strerror) in the user's language, as the window
  // program gets them from Qt's start-up.
  std::setlocale(LC_ALL, "");
  quorvale::GuardWritesAgainstSignals();
#ifdef _WIN32
  // --dump lines end with LF alone.
  _setmode(_fileno(stdout), _O_BINARY);
  // A load of standard input ("-") reads its bytes as they are (CR LF, UTF-16).
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::unique_ptr<quorvale::Platform> platform = quorvale::CreateSystemPlatform();
  return quorvale::RunCli(args, *platform, stdout, stderr);
}
