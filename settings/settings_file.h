#pragma once

#include <QByteArray>
#include <QString>

namespace vz {

// A settings file is a few hundred bytes; anything past this is not one.
inline constexpr qsizetype kMaxSettingsFileSize = 4 << 20;

enum class FileRead { Missing, Read, Unreadable };

// Reads `path` (or the file a link names) when it is a regular file of at
// most kMaxSettingsFileSize bytes. A FIFO, a device or a directory is
// never opened for reading, so nothing blocks or reads for ever.
FileRead ReadSettingsFile(const QString& path, QByteArray& bytes);

// Puts `bytes` in place of the file at `path`, or of the regular file a link
// there names: a new file beside it is written in full and flushed to disk,
// then renamed over the old one, keeping its permissions. False, with the
// old file untouched, when any step fails or the target is no regular file.
bool ReplaceSettingsFile(const QString& path, const QByteArray& bytes);

// An exclusive lock on the file `path`, held through the kernel: a lock file
// whose holder died, or that an interrupted save left behind, is free at
// once. Waits at most `timeoutMs` for a live holder.
class FileLock {
 public:
  FileLock(const QString& path, int timeoutMs);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool Locked() const { return fd_ >= 0; }

 private:
  QByteArray path_;
  int fd_ = -1;
};

}  // namespace vz
