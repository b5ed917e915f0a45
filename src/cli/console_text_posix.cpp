// The command line's text on Linux and other POSIX systems: the arguments are UTF-8 already and
// standard output is written as it is.
#include <unistd.h>

#include <cstdio>

#include "cli/console_text.h"

namespace skelbrook::cli {

ProgramArguments PrepareConsole(int argc, char** argv) {
  ProgramArguments args;
  for (int i = 0; i < argc; ++i) args.text.emplace_back(argv[i]);
  for (std::string& a : args.text) args.argv.push_back(a.data());
  args.argv.push_back(nullptr);
  return args;
}

bool ErrorsGoToATerminal() {
  return isatty(fileno(stderr)) != 0;
}

}  // namespace skelbrook::cli
