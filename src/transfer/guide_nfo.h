// The guide information of a recording written beside its copy for media-library programs: a
// movie NFO file ("<name>.nfo", UTF-8 XML) with the title, the guide text, the date, the channel
// and the running time.
#pragma once

#include <string>

#include "catalogue/recording.h"
#include "common/status.h"

namespace skelbrook {

// The text with the characters XML reserves escaped and the control characters it forbids left
// out.
std::string XmlEscaped(const std::string& utf8);

// The NFO document for the recording.
std::string NfoText(const Recording& recording);

// Writes `text` as the .nfo beside the copy `tsPath` ("x.ts" gives "x.nfo"), by way of a .part
// file, never replacing an existing .nfo. Returns the .nfo's path in `nfoPath`.
Status WriteNfo(const std::string& tsPath, const std::string& text, std::string& nfoPath);

}  // namespace skelbrook
