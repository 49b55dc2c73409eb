#pragma once

#include "tessarc_export.h"

#include <QString>

namespace tessarc {

// The folder that holds the line stores and the program's own files: $VORNEXA_HOME when set, else
// the executable's folder when it is writable (a portable install, or as built) and not installed
// beside share/vornexa, else the per-user data folder.
TESSARC_EXPORT QString programFolder();

} // namespace tessarc
