#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

#include "entries.h"
#include "ini_format.h"

namespace vz {

// Per-user store of 32-bit entries addressed by section and entry name:
// $XDG_CONFIG_HOME/<maker>/<application>.conf (~/.config without it, or
// with a relative one; the home from the password database without HOME),
// one [section] per section.
// Section and entry names match whatever their case; when a name occurs more
// than once, the last one in the file counts.
class SettingsStore {
 public:
  // Empty arguments take the application's organisation and name.
  explicit SettingsStore(QString maker = {}, QString application = {});
  ~SettingsStore();

  // The stored 32 bits when the entry holds a whole decimal number in the
  // signed or unsigned 32-bit range; `def` otherwise.
  std::uint32_t GetProfileInt(const QString& section, const QString& entry,
                              std::uint32_t def) const;
  // The entry's text as one plain value (quotes and a trailing comment
  // dropped); nothing when it is missing or a list.
  std::optional<QByteArray> GetProfileText(const QString& section, const QString& entry) const;
  // Creates or replaces the entry, written as a signed decimal number under
  // the names given here; other spellings of the same names go. The file is
  // replaced atomically at Sync() or destruction, so a reader never sees
  // half of an update.
  void WriteProfileInt(const QString& section, const QString& entry, std::int32_t value);
  // False exactly when the new content could not be put on disk in full
  // (a file that cannot be read, a full disk, a FIFO or device in its
  // place, a read-only file, content beyond what a read takes); the file
  // then keeps its old bytes, the writes are dropped and LastError() says
  // why. The file written is the one read: links are followed to it.
  bool Sync();
  QString LastError() const { return error_; }

  QString FilePath() const;
  // The same as the system has it: bytes, whatever their encoding.
  QByteArray FileName() const { return path_; }
  // Where the file of `maker`'s `application` lives; empty names stand for
  // the running program's. Empty when there is no home folder at all.
  static QByteArray FileNameFor(const QString& maker, const QString& application);
  static QString FilePathFor(const QString& maker, const QString& application);

 private:
  QByteArray path_;
  QString error_;
  IniContent file_;  // as last read or written
  QList<IniWrite> pending_;
};

enum class DefaultColumn { ParticleWindow, Dialog };

// Reads the thirteen entries in their read order with the column's defaults.
EntryValues ReadEntries(const SettingsStore& store, const QString& section,
                        DefaultColumn column);
// Writes all thirteen entries in the write order, in one update of the file;
// false when it could not be written.
bool WriteEntries(SettingsStore& store, const QString& section, const EntryValues& values);

}  // namespace vz
