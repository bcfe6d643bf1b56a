#include "pam_check.h"

#include <dlfcn.h>
#include <spawn.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFileInfo>
#include <QSocketNotifier>
#include <cerrno>

#include "../helper/pam_protocol.h"
#include "child_process.h"
#include "module_support.h"
#include "secret.h"

extern char** environ;

namespace vz {
namespace {

constexpr int kDefaultPamTimeoutMs = 30'000;

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    // MSG_NOSIGNAL: a helper that died already must not take us with it.
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

PamCheck::PamCheck(QObject* parent, std::function<void(bool)> done)
    : QObject(parent), done_(std::move(done)) {
  timeout_.setSingleShot(true);
  connect(&timeout_, &QTimer::timeout, this, [this] { Complete(false); });
}

PamCheck::~PamCheck() { StopHelper(); }

bool PamCheck::Start(const QString& helper, const QByteArray& user, const Secret& password,
                     int timeout_ms) {
  if (pid_ > 0 || user.isEmpty()) return false;
  int sockets[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) return false;

  const QByteArray path = QFileInfo(helper).absoluteFilePath().toLocal8Bit();
  char* argv[] = {const_cast<char*>(path.constData()), const_cast<char*>(user.constData()),
                  nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // dup2 clears close-on-exec on the copies: the helper keeps exactly these.
  posix_spawn_file_actions_adddup2(&actions, sockets[1], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, sockets[1], STDOUT_FILENO);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(sockets[1]);
  if (spawned != 0) {
    close(sockets[0]);
    return false;
  }
  pid_ = pid;
  socket_ = sockets[0];

  // The password goes out of locked memory straight into the kernel; its end
  // mark, then end of input, tells the helper it is complete.
  const char end = pam_protocol::kPasswordEnd;
  if (!SendAll(socket_, password.Data(), password.Size()) || !SendAll(socket_, &end, 1)) {
    // Read the helper's end anyway: a dead helper reads as a refusal.
  }
  shutdown(socket_, SHUT_WR);

  notifier_ = new QSocketNotifier(socket_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { ReadAnswer(); });
  timeout_.start(timeout_ms);
  return true;
}

void PamCheck::ReadAnswer() {
  char buffer[16];
  const ssize_t n = recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n > 0) {
    answer_.append(buffer, n);
    // Anything longer than the one byte is not an answer.
    if (static_cast<std::size_t>(answer_.size()) <= pam_protocol::kAnswerSize) return;
  }
  // End of the helper's output (or garbage): exactly the acceptance byte.
  Complete(static_cast<std::size_t>(answer_.size()) == pam_protocol::kAnswerSize &&
           answer_[0] == pam_protocol::kAccepted);
}

void PamCheck::Complete(bool accepted) {
  if (pid_ <= 0) return;
  StopHelper();
  if (done_) done_(accepted);
}

void PamCheck::StopHelper() {
  timeout_.stop();
  if (notifier_ != nullptr) {
    notifier_->setEnabled(false);
    notifier_->deleteLater();
    notifier_ = nullptr;
  }
  if (socket_ >= 0) close(socket_);
  socket_ = -1;
  if (pid_ > 0) {
    // Done or not, the helper has nothing more to say.
    KillChild(pid_);
  }
  pid_ = -1;
}

QString PamHelperPath() {
  Dl_info info{};
  // This code is linked into the module, so its address names the module.
  if (dladdr(reinterpret_cast<void*>(&PamHelperPath), &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath() + QLatin1Char('/') +
         QLatin1String(pam_protocol::kHelperName);
}

int PamTimeoutMs() { return PositiveEnvironmentMs("VIVEDAZIV_PAM_TIMEOUT_MS", kDefaultPamTimeoutMs); }

}  // namespace vz
