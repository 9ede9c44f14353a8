#include <clocale>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "core/utf16.h"
#endif

#include "cli/cli_runner.h"
#include "platform/platform.h"

namespace {

// `args` without the program's own name.
int Main(const std::vector<std::string>& args) {
  // The system's reasons for a failure (strerror) in the user's language, as the window
  // program gets them from Qt's start-up.
  std::setlocale(LC_ALL, "");
  quorvale::GuardWritesAgainstSignals();
#ifdef __GLIBC__
  // One memory pool for every thread: an update's downloading threads would each keep a pool
  // of their own once their buffers are freed, and the load that follows would stand on top of
  // them (the update of bench row 7c peaks at 88 MB with one pool, 102 MB without).
  (void)mallopt(M_ARENA_MAX, 1);
#endif
#ifdef _WIN32
  // --dump lines end with LF alone.
  _setmode(_fileno(stdout), _O_BINARY);
  // A load of standard input ("-") reads its bytes as they are (CR LF, UTF-16).
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  std::unique_ptr<quorvale::Platform> platform = quorvale::CreateSystemPlatform();
  return quorvale::RunCli(args, *platform, stdout, stderr);
}

}  // namespace

#ifdef _WIN32
// The arguments come as Windows keeps them, in UTF-16, and go on in UTF-8 (a narrow main()
// would get them in the ANSI code page, which cannot hold every file name).
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(quorvale::Utf8FromWide(argv[i]));
  return Main(args);
}
#else
int main(int argc, char** argv) { return Main(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc)); }
#endif
