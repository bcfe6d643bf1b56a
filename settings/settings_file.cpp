#include "settings_file.h"

#include <QFile>
#include <QRandomGenerator>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace vz {

namespace {

// Links deeper than this are a loop.
constexpr int kMaxLinks = 40;
// How long a reader waits for a rewrite in place, and a rewrite for readers.
// Both take microseconds; a holder that takes longer is stuck.
constexpr int kFileLockWaitMs = 1000;

int g_interrupt = -1;

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

QString Reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Fails with the system's reason for the last call.
bool Fail(QString& why) {
  why = Reason(errno);
  return false;
}

// Sleeps about 10 ms; false when the wait is to end at once instead.
bool Pause() {
  if (g_interrupt < 0) {
    ::usleep(10000);
    return true;
  }
  pollfd p = {g_interrupt, POLLIN, 0};
  return ::poll(&p, 1, 10) == 0 || (p.revents == 0 && errno == EINTR);
}

// flock(`op`), waiting at most `timeoutMs` for the holders to let go.
bool LockFor(int fd, int op, int timeoutMs, QString& why) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (::flock(fd, op | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return Fail(why);
    if (std::chrono::steady_clock::now() >= deadline) {
      why = QStringLiteral("another program kept the settings file busy");
      return false;
    }
    if (!Pause()) {
      why = QStringLiteral("the program was asked to end");
      return false;
    }
  }
}

bool WriteAll(int fd, const QByteArray& bytes, off_t at = -1) {
  for (qsizetype done = 0; done < bytes.size();) {
    const char* from = bytes.constData() + done;
    const auto size = size_t(bytes.size() - done);
    const ssize_t n = at < 0 ? ::write(fd, from, size) : ::pwrite(fd, from, size, at + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    done += n;
  }
  return true;
}

QByteArray Folder(const QByteArray& path) {
  const qsizetype slash = path.lastIndexOf('/');
  return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray BaseName(const QByteArray& path) { return path.mid(path.lastIndexOf('/') + 1); }

QByteArray Joined(const QByteArray& folder, const QByteArray& name) {
  return (folder.endsWith('/') ? folder : folder + '/') + name;
}

// What root makes inside another user's folder belongs to that user, who
// could not otherwise change or even read it later (sudo -E, su keeping HOME).
void GiveToFolderOwner(int fd, const QByteArray& folder) {
  struct stat st = {};
  if (::geteuid() != 0 || ::stat(folder.constData(), &st) != 0 || st.st_uid == 0) return;
  [[maybe_unused]] const int ignored = ::fchown(fd, st.st_uid, st.st_gid);
}

// Rewrites the file `fd` holds, keeping it the same file, while readers
// wait: they see the old bytes or the new ones. On failure the old bytes go
// back.
bool RewriteInPlace(int fd, const QByteArray& bytes, QString& why) {
  if (!LockFor(fd, LOCK_EX, kFileLockWaitMs, why)) return false;
  QByteArray old;
  char buffer[16384];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(why);
    if (n == 0) break;
    old.append(buffer, n);
    at += n;
    if (old.size() > kMaxSettingsFileSize) {
      why = QStringLiteral("the file grew too large");
      return false;
    }
  }
  // Room first: a full disk fails here, before a byte changes.
  if (bytes.size() > old.size()) {
    const int error = ::posix_fallocate(fd, 0, bytes.size());
    if (error != 0 && error != EOPNOTSUPP && error != EINVAL) {
      why = Reason(error);
      return false;
    }
  }
  if (WriteAll(fd, bytes, 0) && ::ftruncate(fd, bytes.size()) == 0 && ::fsync(fd) == 0) {
    return true;
  }
  Fail(why);
  if (WriteAll(fd, old, 0) && ::ftruncate(fd, old.size()) != 0) {
    // Nothing more to try: the old bytes are back, with a tail at worst.
  }
  return false;
}

bool WriteInPlace(const QByteArray& real, const struct stat& old, const QByteArray& bytes,
                  QString& why) {
  Fd fd(::open(real.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat st = {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) return Fail(why);
  if (st.st_dev != old.st_dev || st.st_ino != old.st_ino || !S_ISREG(st.st_mode)) {
    why = QStringLiteral("the file was replaced meanwhile");
    return false;
  }
  return RewriteInPlace(fd.get(), bytes, why) && (fd.Close() || Fail(why));
}

// A new file beside `real`, under a name RemoveStaleTemporaries knows;
// -1, with the reason, when none can be made.
int CreateTemporary(const QByteArray& real, mode_t mode, QByteArray& temp, QString& why) {
  const QByteArray stem = Joined(Folder(real), '.' + BaseName(real) + ".new");
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = stem + QByteArray::number(QRandomGenerator::global()->generate(), 16);
    const int fd =
        ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  Fail(why);
  return -1;
}

}  // namespace

void SetLockWaitInterrupt(int fd) { g_interrupt = fd; }

FileRead ReadSettingsFile(const QByteArray& path, QByteArray& bytes, QString* why) {
  QString reason;
  const auto unreadable = [&](QString text) {
    if (why) *why = std::move(text);
    return FileRead::Unreadable;
  };
  struct stat st = {};
  if (::stat(path.constData(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return FileRead::Missing;
    return unreadable(Reason(errno));
  }
  if (S_ISDIR(st.st_mode)) return unreadable(Reason(EISDIR));
  if (!S_ISREG(st.st_mode)) return unreadable(QStringLiteral("it is not a regular file"));
  // Non-blocking, and checked again once open: the name may have changed
  // into a FIFO in between.
  Fd fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) return unreadable(Reason(errno));
  if (!S_ISREG(st.st_mode)) return unreadable(QStringLiteral("it is not a regular file"));
  // A file rewritten in place is locked meanwhile; one held for longer by
  // something stuck is read as it is.
  LockFor(fd.get(), LOCK_SH, kFileLockWaitMs, reason);
  QByteArray read;
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return unreadable(Reason(errno));
    if (n == 0) break;
    read.append(buffer, n);
    if (read.size() > kMaxSettingsFileSize) {
      return unreadable(QStringLiteral("it is larger than 4 MiB"));
    }
  }
  bytes = read;
  return FileRead::Read;
}

FileRead ReadSettingsFile(const QString& path, QByteArray& bytes) {
  return ReadSettingsFile(QFile::encodeName(path), bytes);
}

QByteArray RealSettingsFile(const QByteArray& path, QString& why) {
  QByteArray p = path;
  for (int i = 0; i < kMaxLinks; ++i) {
    const QByteArray base = BaseName(p);
    if (base.isEmpty() || base == "." || base == "..") {
      why = Reason(EISDIR);
      return {};
    }
    char* resolved = ::realpath(Folder(p).constData(), nullptr);
    if (!resolved) {
      why = Reason(errno);
      return {};
    }
    const QByteArray folder(resolved);
    std::free(resolved);
    const QByteArray candidate = Joined(folder, base);
    struct stat st = {};
    if (::lstat(candidate.constData(), &st) != 0) {
      if (errno == ENOENT) return candidate;
      why = Reason(errno);
      return {};
    }
    if (!S_ISLNK(st.st_mode)) return candidate;
    QByteArray target(4096, '\0');
    const ssize_t n = ::readlink(candidate.constData(), target.data(), target.size());
    if (n < 0 || n >= target.size()) {
      why = Reason(n < 0 ? errno : ENAMETOOLONG);
      return {};
    }
    target.truncate(n);
    // A relative link is relative to the folder it really lies in.
    p = target.startsWith('/') ? target : Joined(folder, target);
  }
  why = Reason(ELOOP);
  return {};
}

bool MakeSettingsFolder(const QByteArray& dir, QString& why) {
  for (qsizetype from = 1;;) {
    const qsizetype slash = dir.indexOf('/', from);
    const QByteArray part = slash < 0 ? dir : dir.left(slash);
    if (!part.isEmpty() && !part.endsWith('/') && ::mkdir(part.constData(), 0700) == 0) {
      Fd made(::open(part.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (made.get() >= 0) GiveToFolderOwner(made.get(), Folder(part));
    }
    if (slash < 0) break;
    from = slash + 1;
  }
  struct stat st = {};
  if (::stat(dir.constData(), &st) != 0) return Fail(why);
  if (!S_ISDIR(st.st_mode)) {
    why = Reason(ENOTDIR);
    return false;
  }
  return true;
}

bool ReplaceSettingsFile(const QByteArray& real, const QByteArray& bytes, QString& why) {
  struct stat old = {};
  const bool exists = ::lstat(real.constData(), &old) == 0;
  if (!exists && errno != ENOENT) return Fail(why);
  if (exists) {
    if (!S_ISREG(old.st_mode)) {
      why = QStringLiteral("it is not a regular file");
      return false;
    }
    // As editors do: a file made read-only stays as it is, even for root.
    if ((old.st_mode & 0222) == 0) {
      why = QStringLiteral("the file is read-only");
      return false;
    }
    if (::faccessat(AT_FDCWD, real.constData(), W_OK, AT_EACCESS) != 0) return Fail(why);
    // Replacing would part it from its other names.
    if (old.st_nlink > 1) return WriteInPlace(real, old, bytes, why);
  }

  const QByteArray folder = Folder(real);
  QByteArray temp;
  // 0666 lets the umask decide a new file's permissions.
  Fd fd(CreateTemporary(real, exists ? 0600 : 0666, temp, why));
  if (fd.get() < 0) return false;
  struct stat made = {};
  bool sameOwner = ::fstat(fd.get(), &made) == 0;
  if (exists && sameOwner && (made.st_uid != old.st_uid || made.st_gid != old.st_gid)) {
    sameOwner = ::fchown(fd.get(), old.st_uid, old.st_gid) == 0;
  }
  if (exists && !sameOwner) {
    // A new file could not be the old one's owner's: rewrite that one.
    fd.Close();
    ::unlink(temp.constData());
    return WriteInPlace(real, old, bytes, why);
  }
  if (!exists) GiveToFolderOwner(fd.get(), folder);
  const bool written = (!exists || ::fchmod(fd.get(), old.st_mode & 07777) == 0) &&
                       WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0 && fd.Close() &&
                       ::rename(temp.constData(), real.constData()) == 0;
  if (!written) {
    Fail(why);
    ::unlink(temp.constData());
    return false;
  }
  // The rename itself reaches the disk with the folder.
  Fd dirFd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dirFd.get() >= 0) ::fsync(dirFd.get());
  return true;
}

void RemoveStaleTemporaries(const QByteArray& real) {
  const QByteArray prefix = '.' + BaseName(real) + ".new";
  DIR* dir = ::opendir(Folder(real).constData());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    const QByteArray name(entry->d_name);
    const QByteArray suffix = name.mid(prefix.size());
    if (!name.startsWith(prefix) || suffix.isEmpty() || suffix.size() > 8 ||
        !std::all_of(suffix.begin(), suffix.end(), [](char c) { return std::isxdigit(uchar(c)); })) {
      continue;
    }
    struct stat st = {};
    if (::fstatat(::dirfd(dir), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode)) {
      ::unlinkat(::dirfd(dir), name.constData(), 0);
    }
  }
  ::closedir(dir);
}

FileLock::FileLock(const QByteArray& path, int timeoutMs) : path_(path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    Fd fd(::open(path_.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (fd.get() < 0) {
      why_ = QStringLiteral("cannot make the lock file: ") + Reason(errno);
      return;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
      // The holder before us removes the file as it lets go: the lock counts
      // only on the file that still has the name.
      struct stat held = {}, named = {};
      if (::fstat(fd.get(), &held) == 0 && ::stat(path_.constData(), &named) == 0 &&
          held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        if (!S_ISREG(held.st_mode)) {
          why_ = QStringLiteral("the lock file is not a regular file");
          return;
        }
        fd_ = fd.Release();
        return;
      }
    } else if (errno != EWOULDBLOCK && errno != EINTR) {
      why_ = Reason(errno);
      return;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      why_ = QStringLiteral("another save of these settings did not finish");
      return;
    }
    if (!Pause()) {
      why_ = QStringLiteral("the program was asked to end");
      return;
    }
  }
}

FileLock::~FileLock() {
  if (fd_ < 0) return;
  ::unlink(path_.constData());
  ::close(fd_);
}

}  // namespace vz
