// vivedaziv-pam-helper USER: checks the password of USER with PAM, in a
// process of its own so that a PAM module that crashes or hangs cannot take
// the saver with it. The password comes on standard input and the verdict
// goes to standard output, as pam_protocol.h sets out.

#include <security/pam_appl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "../password_routines.h"
#include "locked_bytes.h"
#include "pam_protocol.h"
#include "pam_session.h"

namespace vz {
namespace {

using pam_protocol::kMaxPassword;

class StdinPasswordConversation : public PamConversation {
 public:
  explicit StdinPasswordConversation(const LockedBytes& password) : password_(password) {}

  bool Answer(int style, const char*, char** reply) override {
    switch (style) {
      case PAM_PROMPT_ECHO_OFF:
        *reply = password_.DuplicateForPam();
        return *reply != nullptr;
      case PAM_PROMPT_ECHO_ON:
        return false;  // nobody there to answer a visible question
      default:
        return true;
    }
  }

 private:
  const LockedBytes& password_;
};

bool ReadPassword(LockedBytes& password) {
  char chunk[256];
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      WipeBytes(chunk, sizeof chunk);
      return false;
    }
    if (n == 0) break;
    const auto* end = static_cast<const char*>(
        std::memchr(chunk, pam_protocol::kPasswordEnd, static_cast<std::size_t>(n)));
    const std::size_t take = end ? static_cast<std::size_t>(end - chunk) : static_cast<std::size_t>(n);
    password.Append(chunk, take);
    if (end || password.Size() > kMaxPassword) break;
  }
  WipeBytes(chunk, sizeof chunk);
  return password.Size() <= kMaxPassword;
}

bool Accepted(const char* user, const LockedBytes& password) {
  StdinPasswordConversation conversation(password);
  PamSession session(kPamService, user, conversation);
  if (session.Authenticate() != PAM_SUCCESS) return false;
  const int account = session.CheckAccount();
  // An expired password still proves who is at the keyboard; the saver is not
  // the place to force the change, and refusing would lock the user out.
  return account == PAM_SUCCESS || account == PAM_NEW_AUTHTOK_REQD;
}

}  // namespace
}  // namespace vz

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '\0') return 2;
  // A crash must leave no core file holding the password.
  const rlimit no_core{0, 0};
  setrlimit(RLIMIT_CORE, &no_core);
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  // Nobody is left to answer once the saver is gone.
  prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
  if (getppid() == 1) return 2;

  char answer = vz::pam_protocol::kRefused;
  {
    vz::LockedBytes password;
    if (vz::ReadPassword(password) && vz::Accepted(argv[1], password)) {
      answer = vz::pam_protocol::kAccepted;
    }
  }
  while (write(STDOUT_FILENO, &answer, 1) < 0 && errno == EINTR) {
  }
  return 0;
}
