// The command line's text on Windows: the arguments are fetched as wide characters (the narrow
// ones are in the ANSI code page, which cannot hold every file name) and turned into UTF-8, and
// standard output is written in binary mode, so that lines end in LF as on Linux.
#include <windows.h>
// shellapi.h needs windows.h before it.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "cli/console_text.h"
#include "device/wide_text.h"

namespace skelbrook::cli {

ProgramArguments PrepareConsole(int argc, char** argv) {
  ProgramArguments args;
  int wideCount = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &wideCount)) {
    for (int i = 0; i < wideCount; ++i) args.text.push_back(Utf8FromWide(wide[i]));
    LocalFree(wide);
  }
  if (args.text.empty()) {
    for (int i = 0; i < argc; ++i) args.text.emplace_back(argv[i]);
  }
  // Text mode would turn every "\n" into "\r\n"; the output is the same bytes as on Linux.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // A console shows the UTF-8 names as they are.
  SetConsoleOutputCP(CP_UTF8);
  for (std::string& a : args.text) args.argv.push_back(a.data());
  args.argv.push_back(nullptr);
  return args;
}

bool ErrorsGoToATerminal() {
  return _isatty(_fileno(stderr)) != 0;
}

}  // namespace skelbrook::cli
