// skelbrook-cli verify: whether files are sound transport streams, and the same check on each
// finished copy of `copy --verify`.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "transfer/stream_check.h"

namespace skelbrook::cli {

// {"packets", "sync_errors", "continuity_errors", "duration_s"} of a report.
nlohmann::json StreamJson(const StreamReport& report);

// "N packets, S sync errors, C continuity errors, 0:30:00 of stream clock".
std::string StreamText(const StreamReport& report);

// Checks each file; exit 0 when every one is clean, 1 when one has problems or cannot be read.
int RunVerify(const std::vector<std::string>& files, bool json);

}  // namespace skelbrook::cli
