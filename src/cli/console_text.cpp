// UTF-8 arguments and byte-for-byte standard output on Windows; nothing to do elsewhere.
#include "cli/console_text.h"

#ifdef _WIN32
#include <windows.h>
// shellapi.h needs windows.h before it.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#else
#include <unistd.h>

#include <cstdio>
#endif

namespace skelbrook::cli {
namespace {

#ifdef _WIN32
std::string Utf8FromWideArgument(const wchar_t* wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), n, nullptr, nullptr);
  utf8.pop_back();  // the terminating zero
  return utf8;
}
#endif

}  // namespace

ProgramArguments PrepareConsole(int argc, char** argv) {
  ProgramArguments args;
#ifdef _WIN32
  // The narrow argv is in the ANSI code page, which cannot hold every file name.
  int wideCount = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &wideCount)) {
    for (int i = 0; i < wideCount; ++i) args.text.push_back(Utf8FromWideArgument(wide[i]));
    LocalFree(wide);
  }
  // Text mode would turn every "\n" into "\r\n"; the output is the same bytes as on Linux.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // A console shows the UTF-8 names as they are.
  SetConsoleOutputCP(CP_UTF8);
#endif
  if (args.text.empty()) {
    for (int i = 0; i < argc; ++i) args.text.emplace_back(argv[i]);
  }
  for (std::string& a : args.text) args.argv.push_back(a.data());
  args.argv.push_back(nullptr);
  return args;
}

bool ErrorsGoToATerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

}  // namespace skelbrook::cli
