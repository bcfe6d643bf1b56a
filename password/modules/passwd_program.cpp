#include "passwd_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "child_process.h"

namespace vz {
namespace {

constexpr const char* kPasswdPaths[] = {"/usr/bin/passwd", "/bin/passwd"};

// No echo: an answer must never come back as output. Canonical input (a line
// at a time, as passwd reads it) but with every special character switched
// off, so a password is passed on byte for byte.
bool MakeQuiet(int terminal) {
  termios mode{};
  if (tcgetattr(terminal, &mode) != 0) return false;
  mode.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN);
  mode.c_lflag |= ICANON;
  mode.c_iflag &= ~(ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP);
  for (int c : {VINTR, VQUIT, VERASE, VKILL, VEOF, VEOL, VEOL2, VSTART, VSTOP, VSUSP,
                VLNEXT, VWERASE, VREPRINT, VDISCARD}) {
    mode.c_cc[c] = _POSIX_VDISABLE;
  }
  return tcsetattr(terminal, TCSANOW, &mode) == 0;
}

// A terminal whose other end the child opens as its controlling terminal.
// errno on failure.
int OpenTerminal(int* master, std::string* slave_name) {
  const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno;
  char name[128];
  if (grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0) {
    const int error = errno;
    close(fd);
    return error;
  }
  const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0 || !MakeQuiet(slave) || fcntl(fd, F_SETFL, O_NONBLOCK) != 0) {
    const int error = errno != 0 ? errno : EIO;
    if (slave >= 0) close(slave);
    close(fd);
    return error;
  }
  // Closed once the child has it open: the terminal ends when passwd does.
  close(slave);
  *master = fd;
  *slave_name = name;
  return 0;
}

}  // namespace

PasswdProgram FindPasswd() {
  for (const char* path : kPasswdPaths) {
    struct stat info {};
    if (stat(path, &info) != 0) continue;
    PasswdProgram found;
    found.path = path;
    const bool usable = S_ISREG(info.st_mode) && info.st_uid == 0 &&
                        (info.st_mode & S_ISUID) != 0 && access(path, X_OK) == 0;
    found.state = usable ? PasswdProgram::State::Usable : PasswdProgram::State::NotSetUid;
    return found;
  }
  return {};
}

PasswdProcess::~PasswdProcess() { Stop(); }

int PasswdProcess::Start(const char* path) {
  if (pid_ > 0 || terminal_ >= 0) return EBUSY;
  int master = -1;
  std::string slave;
  if (const int error = OpenTerminal(&master, &slave); error != 0) return error;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Opened after setsid, so it becomes passwd's controlling terminal; a
  // hangup when we go away ends passwd.
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, slave.c_str(), O_RDWR, 0);
  posix_spawn_file_actions_adddup2(&actions, STDIN_FILENO, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, STDIN_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // The saver blocks its exit signals while it works; passwd must not
  // inherit that, nor any handler's replacement.
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  char name[] = "passwd";
  char* argv[] = {name, nullptr};
  // Its messages in the words we read them in; nothing else of ours.
  char path_variable[] = "PATH=/usr/bin:/bin";
  char lc_all[] = "LC_ALL=C";
  char lang[] = "LANG=C";
  char term[] = "TERM=dumb";
  char* environment[] = {path_variable, lc_all, lang, term, nullptr};
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, path, &actions, &attributes, argv, environment);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    close(master);
    return spawned;
  }
  pid_ = pid;
  terminal_ = master;
  return 0;
}

ssize_t PasswdProcess::Read(char* buffer, std::size_t size) {
  if (terminal_ < 0) return -1;
  for (;;) {
    const ssize_t n = read(terminal_, buffer, size);
    if (n > 0) return n;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return 0;
    // EIO: no one holds the other end any more.
    return -1;
  }
}

bool PasswdProcess::Write(const char* data, std::size_t size) {
  while (size > 0) {
    if (terminal_ < 0) return false;
    const ssize_t n = write(terminal_, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      // A line of a password fits the terminal's buffer many times over;
      // a full one means passwd is not reading. Give it a moment, no more.
      pollfd wait{terminal_, POLLOUT, 0};
      if (poll(&wait, 1, 1000) <= 0) return false;
      continue;
    }
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool PasswdProcess::Ended(int* status) {
  if (pid_ > 0) {
    int result = 0;
    const pid_t done = waitpid(pid_, &result, WNOHANG);
    if (done == 0 || (done < 0 && errno == EINTR)) return false;
    // ECHILD: someone else reaped it; it is gone all the same.
    status_ = done == pid_ ? result : W_EXITCODE(127, 0);
    pid_ = -1;
  }
  *status = status_;
  return true;
}

void PasswdProcess::Stop() {
  if (pid_ > 0) {
    KillChild(pid_);
    status_ = SIGKILL;  // the wait status of a process killed so
  }
  pid_ = -1;
  if (terminal_ >= 0) close(terminal_);
  terminal_ = -1;
}

}  // namespace vz
