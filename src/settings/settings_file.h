// The settings file: sections of "name=value" lines, read and updated one value at a time.
// Both routines work on the whole file each time and keep nothing between calls.
#pragma once

#include <string>

#include "common/status.h"

namespace skelbrook {

// The value of `key` in `section` of the file, or "" when there is none. Names are compared
// without regard to letter case; the value keeps its case.
std::string ReadSetting(const std::string& fileName, const std::string& section,
                        const std::string& key);

// Sets `key` in `section` to `value`, creating the file, the section or the key as needed.
Status WriteSetting(const std::string& fileName, const std::string& section, const std::string& key,
                    const std::string& value);

}  // namespace skelbrook
