#include "settings_file.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace vz {

namespace {

// Links deeper than this are a loop.
constexpr int kMaxLinks = 40;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // close() reports write errors some file systems give only there.
  bool Close() { return ::close(Release()) == 0; }
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

bool WriteAll(int fd, const QByteArray& bytes) {
  for (qsizetype done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += n;
  }
  return true;
}

// The file a chain of links at `path` ends in, which may not exist yet;
// empty for a loop.
QString LinkTarget(QString path) {
  for (int i = 0; i < kMaxLinks; ++i) {
    const QFileInfo info(path);
    if (!info.isSymLink()) return path;
    path = info.symLinkTarget();
  }
  return {};
}

}  // namespace

FileRead ReadSettingsFile(const QString& path, QByteArray& bytes) {
  const QByteArray name = QFile::encodeName(path);
  struct stat st = {};
  if (::stat(name.constData(), &st) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? FileRead::Missing : FileRead::Unreadable;
  }
  if (!S_ISREG(st.st_mode)) return FileRead::Unreadable;
  // Non-blocking, and checked again once open: the name may have changed
  // into a FIFO in between.
  Fd fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) return FileRead::Unreadable;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return FileRead::Unreadable;
  QByteArray read;
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FileRead::Unreadable;
    if (n == 0) break;
    read.append(buffer, n);
    if (read.size() > kMaxSettingsFileSize) return FileRead::Unreadable;
  }
  bytes = read;
  return FileRead::Read;
}

bool ReplaceSettingsFile(const QString& path, const QByteArray& bytes) {
  const QString target = LinkTarget(path);
  if (target.isEmpty()) return false;
  const QByteArray name = QFile::encodeName(target);
  struct stat old = {};
  const bool exists = ::lstat(name.constData(), &old) == 0;
  if (!exists && errno != ENOENT) return false;
  if (exists && !S_ISREG(old.st_mode)) return false;

  const QFileInfo info(target);
  const QByteArray stem =
      QFile::encodeName(info.absolutePath() + "/." + info.fileName() + ".new");
  QByteArray temp;
  int raw = -1;
  for (int attempt = 0; raw < 0 && attempt < 100; ++attempt) {
    temp = stem + QByteArray::number(QRandomGenerator::global()->generate(), 16);
    // 0666 lets the umask decide a new file's permissions.
    raw = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (raw < 0 && errno != EEXIST) return false;
  }
  if (raw < 0) return false;
  Fd fd(raw);
  const bool written = (!exists || ::fchmod(fd.get(), old.st_mode & 07777) == 0) &&
                       WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0 && fd.Close() &&
                       ::rename(temp.constData(), name.constData()) == 0;
  if (!written) {
    ::unlink(temp.constData());
    return false;
  }
  // The rename itself reaches the disk with the folder.
  Fd folder(::open(QFile::encodeName(info.absolutePath()).constData(),
                   O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
  return true;
}

FileLock::FileLock(const QString& path, int timeoutMs) : path_(QFile::encodeName(path)) {
  const QDeadlineTimer deadline(timeoutMs);
  for (;;) {
    Fd fd(::open(path_.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (fd.get() < 0) return;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
      // The holder before us removes the file as it lets go: the lock counts
      // only on the file that still has the name.
      struct stat held = {}, named = {};
      if (::fstat(fd.get(), &held) == 0 && ::stat(path_.constData(), &named) == 0 &&
          held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        if (!S_ISREG(held.st_mode)) return;
        fd_ = fd.Release();
        return;
      }
    } else if (errno != EWOULDBLOCK && errno != EINTR) {
      return;
    }
    if (deadline.hasExpired()) return;
    QThread::msleep(10);
  }
}

FileLock::~FileLock() {
  if (fd_ < 0) return;
  ::unlink(path_.constData());
  ::close(fd_);
}

}  // namespace vz
