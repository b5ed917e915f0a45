// Ctrl-C on the command line: long work (a copy, a search of the whole disk) asks at its next
// step whether the user pressed it, stops there and cleans up after itself.
#pragma once

namespace skelbrook::cli {

// From now on Ctrl-C is noted instead of ending the program (`on`), or ends it again.
void CatchInterrupt(bool on);
bool Interrupted();

}  // namespace skelbrook::cli
