// The command line's text in and out as UTF-8 bytes on every platform: on Windows the arguments
// are fetched as wide characters and converted, and standard output is written unchanged (no
// CR added before LF), so scripts see exactly what they see on Linux.
#pragma once

#include <string>
#include <vector>

namespace skelbrook::cli {

struct ProgramArguments {
  std::vector<std::string> text;  // UTF-8
  std::vector<char*> argv;        // points into `text`, ends with a null pointer
  int argc() const { return static_cast<int>(text.size()); }
};

// Takes the arguments main() received (used as they are outside Windows) and prepares the
// standard streams.
ProgramArguments PrepareConsole(int argc, char** argv);

// Whether standard error is a terminal, where a progress line can be redrawn in place.
bool ErrorsGoToATerminal();

}  // namespace skelbrook::cli
