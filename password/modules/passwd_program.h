#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace vz {

// The system's password program. Only it may rewrite /etc/shadow for an
// ordinary user: it is set-user-ID root, and we are not.
struct PasswdProgram {
  enum class State { Usable, Missing, NotSetUid };
  State state = State::Missing;
  // The file found; empty when Missing.
  std::string path;
};

// Looks for passwd on the standard path (/usr/bin, then /bin), never on the
// caller's PATH. Usable when it is a regular, executable file owned by root
// with the set-user-ID bit.
PasswdProgram FindPasswd();

// passwd running on a pseudo-terminal of its own, as if typed at a console:
// its prompts and messages come out of the terminal, answers go in. It runs
// in the C locale with nothing else of our environment, without arguments,
// so it changes the password of the real user running us.
//
// The terminal neither echoes input nor gives any typed character a special
// meaning (no signals, erase or end of file from a byte in a password); a
// newline alone ends an answer.
class PasswdProcess {
 public:
  PasswdProcess() = default;
  ~PasswdProcess();
  PasswdProcess(const PasswdProcess&) = delete;
  PasswdProcess& operator=(const PasswdProcess&) = delete;

  // Starts the program at `path`. 0, or the errno value of what failed.
  int Start(const char* path);

  // Our end of the terminal (non-blocking), -1 before Start and after Stop.
  int Terminal() const { return terminal_; }
  // Reads what passwd printed. The number of bytes read; 0 when nothing is
  // waiting; -1 when the terminal is closed (passwd and anything it started
  // have let go of it) or broken.
  ssize_t Read(char* buffer, std::size_t size);
  // Sends bytes as typed. False when they could not all be sent.
  bool Write(const char* data, std::size_t size);
  // True once passwd has ended (or was stopped, or never started), with its
  // wait status in `status`.
  bool Ended(int* status);
  // Kills passwd if it still runs and closes the terminal.
  void Stop();

 private:
  pid_t pid_ = -1;
  int terminal_ = -1;
  // A wait status: exit code 127 until passwd has run and ended.
  int status_ = 127 << 8;
};

}  // namespace vz
