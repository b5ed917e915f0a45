// Where the window keeps its settings file and its recordings list: beside the program only for
// a portable copy, otherwise in the user's configuration folder, whoever the user is (an
// installed program run as root never writes into /usr/bin).
#pragma once

#include <QString>

namespace skelbrook::window {

// The name of the file that makes the program's folder a portable copy (any content).
inline constexpr const char* kPortableMarker = "portable";

// `programFolder` when it holds kPortableMarker or lies inside `buildFolder` (the program runs
// where it was built; empty for none), otherwise `configFolder`, which is created.
QString HomeFolder(const QString& programFolder, const QString& buildFolder,
                   const QString& configFolder);

// Where copies go until the user chooses a folder: a portable copy's own folder (its home is not
// `configFolder`), as it always was; otherwise `videosFolder` when it exists, else `userHome`;
// never the hidden configuration folder the window keeps its files in.
QString FirstDestination(const QString& homeFolder, const QString& configFolder,
                         const QString& videosFolder, const QString& userHome);

}  // namespace skelbrook::window
