#include "child_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vz {

void KillChild(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGKILL);
  for (int tries = 0; tries < 20; ++tries) {
    if (waitpid(pid, nullptr, WNOHANG) != 0) return;
    usleep(1000);
  }
}

}  // namespace vz
