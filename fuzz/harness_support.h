// What the fuzzing harnesses share: a scratch folder of their own, and a check that stops the run
// loudly when a promise of the code is broken (the fuzzer then keeps the input that broke it).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace skelbrook::fuzz {

// A folder for the harness's files, created once per process under /dev/shm when it is there
// (memory, not disk) and otherwise under the temporary folder. Removed at exit.
const std::string& ScratchFolder();

// Removes every file in `folder`, keeping the folder.
void EmptyFolder(const std::string& folder);

[[noreturn]] inline void Broken(const char* what, const std::string& detail) {
  std::fprintf(stderr, "broken promise: %s: %s\n", what, detail.c_str());
  std::abort();
}

inline void Require(bool holds, const char* what, const std::string& detail = {}) {
  if (!holds) Broken(what, detail);
}

}  // namespace skelbrook::fuzz
