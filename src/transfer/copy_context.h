// What the steps of one copy share: the drive it reads, the file it writes, the planned reads and
// the front end that hears of its progress; and the plain copy, which fails at the first byte
// that will not read.
#pragma once

#include <cstdint>
#include <vector>

#include "common/observer.h"
#include "common/status.h"
#include "device/drive.h"
#include "device/output_file.h"
#include "transfer/copy.h"
#include "transfer/read_plan.h"

namespace skelbrook {

struct CopyContext {
  Drive& drive;
  OutputFile& out;
  const ReadPlan& plan;
  int64_t size;  // the recording's size in bytes: the recording's bar runs up to it
  BatchCounters& counters;
  WorkObserver& observer;
  int64_t done = 0;  // bytes of the recording dealt with so far
  int64_t base = 0;  // bytes of the recording before this file (a part of one copied in parts)
  std::vector<uint8_t> staging = {};
};

// Restores the byte order of `bytes` bytes of the copy read into `source`, and writes them at the
// file's current position.
Status RestoreAndWrite(CopyContext& c, const uint8_t* source, int64_t bytes);

// Moves both bars: this recording's (done of size) and the batch's; `reading` bytes of a read
// still under way count as done.
void ReportProgress(CopyContext& c, int64_t reading = 0);

// Reads the plan run by run, each run in one read past the caches, and writes it restored, with
// a chance to stop and the bars moved per cluster. Any byte that will not read fails the copy,
// naming the first unreadable sector.
Status CopyPlainly(CopyContext& c);

}  // namespace skelbrook
