// Process groups of the converter runs that this program starts (POSIX).
//
// Errors: none; these functions never throw.
#pragma once

#include <QtGlobal>

namespace kelmo {

// A converter is started as the leader of a session of its own, so its process id names
// both its process group and its session; members are the processes of either.

// True while some member of pgid that is not a zombie lives.
bool ProcessGroupAlive(qint64 pgid);

// Sends SIGTERM to the members of pgid, and SIGKILL to what is left after graceMs. True
// when no live member remains.
bool EndProcessGroup(qint64 pgid, int graceMs);

}  // namespace kelmo
