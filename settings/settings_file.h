#pragma once

#include <QByteArray>
#include <QString>

namespace vz {

// A settings file is a few hundred bytes; anything past this is not one.
// The store neither reads nor writes a larger one.
inline constexpr qsizetype kMaxSettingsFileSize = 4 << 20;

enum class FileRead { Missing, Read, Unreadable };

// Paths are bytes, as the system keeps them: a name that is no valid UTF-8
// stays the name it was.

// Reads `path` (or the file a link names) when it is a regular file of at
// most kMaxSettingsFileSize bytes. A FIFO, a device or a directory is
// never opened for reading, so nothing blocks or reads for ever. A file being
// rewritten in place is read before or after, never half way. `why` gets
// the reason a file that is there could not be read.
FileRead ReadSettingsFile(const QByteArray& path, QByteArray& bytes, QString* why = nullptr);
FileRead ReadSettingsFile(const QString& path, QByteArray& bytes);

// The file that `path` names once every link on the way is followed, as
// realpath() finds it, though the file itself need not exist yet: the file
// that reading `path` reads. Empty, with the reason in `why`, when its
// folder is missing or the links loop.
QByteArray RealSettingsFile(const QByteArray& path, QString& why);

// Makes the folder `dir` and every missing one above it, each 0700; when
// root makes them inside a user's folder, they are the user's.
bool MakeSettingsFolder(const QByteArray& dir, QString& why);

// Puts `bytes` in place of the regular file `real` (as RealSettingsFile
// gives it), all or nothing: a new file beside it is written in full and
// flushed to disk, then renamed over the old one, with the old one's owner,
// group and permissions. A file that has other links, or whose owner or
// group this process cannot give a new file, is rewritten in place instead,
// so it stays the same file. A file that is read-only, or not writable by
// this process, is refused, as is anything but a regular file. On failure
// the old file is untouched and `why` says why.
bool ReplaceSettingsFile(const QByteArray& real, const QByteArray& bytes, QString& why);

// Removes what saves of `real` that were killed part way left beside it.
// Only while holding the file's lock.
void RemoveStaleTemporaries(const QByteArray& real);

// Waits for a lock end early, failing, once `fd` turns readable (the pipe
// that the exit signals write to): a program asked to end does not sit out
// another process's save. -1 for none.
void SetLockWaitInterrupt(int fd);

// An exclusive lock on the file `path`, held through the kernel: a lock file
// whose holder died, or that an interrupted save left behind, is free at
// once. Waits at most `timeoutMs` for a live holder.
class FileLock {
 public:
  FileLock(const QByteArray& path, int timeoutMs);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool Locked() const { return fd_ >= 0; }
  // Why it is not held.
  const QString& Why() const { return why_; }

 private:
  QByteArray path_;
  int fd_ = -1;
  QString why_;
};

}  // namespace vz
