#pragma once

#include <sys/types.h>

namespace vz {

// Kills a child of ours and reaps it. A killed child is normally gone within
// microseconds; one stuck in the kernel is not waited for beyond a few
// milliseconds: it stays a zombie rather than stall the dialogs.
void KillChild(pid_t pid);

}  // namespace vz
