#include "settings_store.h"

#include <QCoreApplication>
#include <QFile>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "entry_table.h"
#include "ini_format.h"
#include "settings_file.h"

namespace vz {

namespace {

// How long a save waits for another one under way.
constexpr int kLockWaitMs = 5000;

bool InRange(qlonglong n, std::uint32_t& out) {
  if (n < -2147483648LL || n > 4294967295LL) return false;
  out = static_cast<std::uint32_t>(n);
  return true;
}

bool ParseStored(const QByteArray& raw, std::uint32_t& out) {
  const std::optional<QByteArray> text = IniPlainValue(raw);
  bool ok = false;
  const qlonglong n = text ? text->toLongLong(&ok, 10) : 0;
  return ok && InRange(n, out);
}

}  // namespace

QByteArray SettingsStore::FileNameFor(const QString& maker, const QString& application) {
  // The XDG base directory rules; QStandardPaths would make a relative
  // XDG_CONFIG_HOME or a missing HOME into odd places, and lose bytes that
  // are no UTF-8.
  QByteArray config = qgetenv("XDG_CONFIG_HOME");
  if (!config.startsWith('/')) {
    QByteArray home = qgetenv("HOME");
    if (home.isEmpty()) {
      const passwd* user = ::getpwuid(::getuid());
      if (user && user->pw_dir) home = user->pw_dir;
    }
    if (home.isEmpty()) return {};
    config = home + (home.endsWith('/') ? ".config" : "/.config");
  }
  auto name = [](const QString& given, const QString& fallback) {
    return QFile::encodeName(given.isEmpty() ? fallback : given);
  };
  return config + '/' + name(maker, QCoreApplication::organizationName()) + '/' +
         name(application, QCoreApplication::applicationName()) + ".conf";
}

QString SettingsStore::FilePathFor(const QString& maker, const QString& application) {
  return QFile::decodeName(FileNameFor(maker, application));
}

SettingsStore::SettingsStore(QString maker, QString application)
    : path_(FileNameFor(maker, application)) {
  QByteArray bytes;
  if (!path_.isEmpty() && ReadSettingsFile(path_, bytes) == FileRead::Read) file_ = ParseIni(bytes);
}

SettingsStore::~SettingsStore() { Sync(); }

std::uint32_t SettingsStore::GetProfileInt(const QString& section, const QString& entry,
                                           std::uint32_t def) const {
  for (auto c = pending_.crbegin(); c != pending_.crend(); ++c) {
    if (SameIniName(c->section, section) && SameIniName(c->entry, entry)) {
      return static_cast<std::uint32_t>(c->value);
    }
  }
  std::uint32_t v = def;
  const QByteArray* text = FindIniValue(file_, section, entry);
  return text && ParseStored(*text, v) ? v : def;
}

std::optional<QByteArray> SettingsStore::GetProfileText(const QString& section,
                                                        const QString& entry) const {
  for (auto c = pending_.crbegin(); c != pending_.crend(); ++c) {
    if (SameIniName(c->section, section) && SameIniName(c->entry, entry)) {
      return QByteArray::number(c->value);
    }
  }
  const QByteArray* text = FindIniValue(file_, section, entry);
  return text ? IniPlainValue(*text) : std::nullopt;
}

void SettingsStore::WriteProfileInt(const QString& section, const QString& entry,
                                    std::int32_t value) {
  pending_.append({section, entry, value});
}

bool SettingsStore::Sync() {
  // Tried once: a store that failed to save does not write later behind the
  // back of a caller that reported the failure.
  const QList<IniWrite> changes = std::exchange(pending_, {});
  if (changes.isEmpty()) return true;
  error_.clear();
  auto fail = [this](const QString& why) {
    error_ = why;
    return false;
  };
  if (path_.isEmpty()) return fail(QStringLiteral("there is no home folder"));
  QString why;
  const qsizetype slash = path_.lastIndexOf('/');
  if (!MakeSettingsFolder(path_.left(slash), why)) return fail(why);
  // Read, lock and replace the one file that reading the name reads.
  const QByteArray real = RealSettingsFile(path_, why);
  if (real.isEmpty()) return fail(why);
  // Another process saving at the same time must not lose this update.
  const FileLock lock(real + ".lock", kLockWaitMs);
  if (lock.Locked()) RemoveStaleTemporaries(real);
  // Merge into the file as it is now, not as it was when this store read it.
  QByteArray old;
  const FileRead read = ReadSettingsFile(real, old, &why);
  if (read == FileRead::Unreadable) return fail(why);  // what it holds would be lost
  const QByteArray text = RenderIni(ParseIni(old), changes);
  // What is already on disk needs no write.
  if (read == FileRead::Missing || text != old) {
    // The next read would refuse it, and every save after.
    if (text.size() > kMaxSettingsFileSize) {
      return fail(QStringLiteral("the file would grow beyond 4 MiB"));
    }
    if (!lock.Locked()) return fail(lock.Why());
    if (!ReplaceSettingsFile(real, text, why)) return fail(why);
  }
  file_ = ParseIni(text);
  return true;
}

QString SettingsStore::FilePath() const { return QFile::decodeName(path_); }

EntryValues ReadEntries(const SettingsStore& store, const QString& section,
                        DefaultColumn column) {
  EntryValues v;
  for (const EntryInfo& e : kEntries) {
    const std::uint32_t def =
        column == DefaultColumn::Dialog ? e.dialogDefault : e.particleDefault;
    v.*e.field = store.GetProfileInt(section, QString::fromLatin1(e.name.data(),
                                                                  qsizetype(e.name.size())),
                                     def);
  }
  return v;
}

bool WriteEntries(SettingsStore& store, const QString& section, const EntryValues& values) {
  for (std::string_view name : kWriteOrder) {
    const EntryInfo* e = FindEntry(name);
    store.WriteProfileInt(section, QString::fromLatin1(name.data(), qsizetype(name.size())),
                          static_cast<std::int32_t>(values.*e->field));
  }
  return store.Sync();
}

}  // namespace vz
