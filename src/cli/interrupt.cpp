// The Ctrl-C flag.
#include "cli/interrupt.h"

#include <csignal>

namespace skelbrook::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;
extern "C" void OnInterrupt(int) {
  interrupted = 1;
}

}  // namespace

void CatchInterrupt(bool on) {
  std::signal(SIGINT, on ? OnInterrupt : SIG_DFL);
}

bool Interrupted() {
  return interrupted != 0;
}

}  // namespace skelbrook::cli
