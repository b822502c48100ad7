// Process groups of the converter runs that this program starts (POSIX).
//
// Errors: none; these functions never throw.
#pragma once

#include <QtGlobal>

namespace kelmo {

// True while some process that is not a zombie belongs to process group pgid.
bool ProcessGroupAlive(qint64 pgid);

// Sends SIGTERM to group pgid, and SIGKILL to what is left after graceMs. True when no
// live member remains.
bool EndProcessGroup(qint64 pgid, int graceMs);

}  // namespace kelmo
