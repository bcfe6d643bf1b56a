#pragma once

#include <QSettings>
#include <QString>
#include <cstdint>
#include <memory>

#include "entries.h"

namespace vz {

// Per-user store of 32-bit entries addressed by section and entry name:
// $XDG_CONFIG_HOME/<maker>/<application>.conf, one [section] per section.
class SettingsStore {
 public:
  // Empty arguments take the application's organisation and name.
  explicit SettingsStore(QString maker = {}, QString application = {});
  ~SettingsStore();

  // The stored 32 bits when the entry holds a whole decimal number in the
  // signed or unsigned 32-bit range; `def` otherwise.
  std::uint32_t GetProfileInt(const QString& section, const QString& entry,
                              std::uint32_t def) const;
  // Creates or replaces the entry, written as a signed decimal number. The
  // file is replaced atomically at Sync() or destruction, so a reader never
  // sees half of an update.
  void WriteProfileInt(const QString& section, const QString& entry, std::int32_t value);
  // False when the file could not be written; its old content then stays.
  bool Sync();

  QString FilePath() const;

 private:
  std::unique_ptr<QSettings> settings_;
};

enum class DefaultColumn { ParticleWindow, Dialog };

// Reads the thirteen entries in their read order with the column's defaults.
EntryValues ReadEntries(const SettingsStore& store, const QString& section,
                        DefaultColumn column);
// Writes all thirteen entries in the write order, in one update of the file;
// false when it could not be written.
bool WriteEntries(SettingsStore& store, const QString& section, const EntryValues& values);

}  // namespace vz
