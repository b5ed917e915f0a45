// A seam for tests of failure handling: makes chosen reads of the recorder disk or writes of a
// destination file fail, as a dying disk or a full destination would, while the real I/O path runs.
#pragma once

#include <cstdint>

namespace skelbrook {

struct DeviceFaults {
  // A read whose byte range [offset, offset + count) contains this offset fails.
  int64_t failReadAt = -1;
  // When true, that read delivers the bytes before failReadAt and then stops short, instead of
  // failing outright.
  bool shortRead = false;
  // Once this many bytes have been written to one destination file, further writes fail.
  int64_t failWriteAfter = -1;
  // When true the failing write reports a full destination; otherwise an I/O error.
  bool diskFull = true;
};

}  // namespace skelbrook
