// Opening a disk through the system's disk service (UDisks2) for a desktop user who lacks the
// rights to the device: the service asks for the password, as disk tools do, and hands back a
// read-only descriptor ("open for backup").
#pragma once

#include <memory>
#include <string>

#include "common/status.h"
#include "device/disk_reader.h"

namespace skelbrook::window {

// Opens `path` (a block device) read-only through UDisks2 on the system bus; says why not when
// the service is not there or refuses.
Status OpenThroughUDisks(const std::string& path, std::unique_ptr<DiskReader>& disk);

}  // namespace skelbrook::window
