// Where the window keeps its settings file and its recordings list: beside the program only for
// a portable copy, otherwise in the user's configuration folder, whoever the user is (an
// installed program run as root or as an administrator never writes into its own folder).
#pragma once

#include <string>

namespace skelbrook::session {

// The name of the file that makes the program's folder a portable copy (any content).
inline constexpr const char* kPortableMarker = "portable";

// `programFolder` when it holds kPortableMarker or lies inside `buildFolder` (the program runs
// where it was built; empty for none), otherwise `configFolder`, which is created. UTF-8 paths.
std::string HomeFolder(const std::string& programFolder, const std::string& buildFolder,
                       const std::string& configFolder);

// Where copies go until the user chooses a folder: a portable copy's own folder (its home is not
// `configFolder`), as it always was; otherwise `videosFolder` when it exists, else `userHome`;
// never the hidden configuration folder the window keeps its files in.
std::string FirstDestination(const std::string& homeFolder, const std::string& configFolder,
                             const std::string& videosFolder, const std::string& userHome);

}  // namespace skelbrook::session
