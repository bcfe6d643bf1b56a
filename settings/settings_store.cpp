#include "settings_store.h"

#include <QCoreApplication>
#include <QSettings>
#include <QVariant>

#include "entry_table.h"

namespace vz {

namespace {

bool InRange(qlonglong n, std::uint32_t& out) {
  if (n < -2147483648LL || n > 4294967295LL) return false;
  out = static_cast<std::uint32_t>(n);
  return true;
}

bool ParseStored(const QVariant& v, std::uint32_t& out) {
  switch (v.typeId()) {
    // Values this process wrote come back from the shared cache as numbers.
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
      return InRange(v.toLongLong(), out);
    case QMetaType::QString:
    case QMetaType::QByteArray: {
      bool ok = false;
      const qlonglong n = v.toString().trimmed().toLongLong(&ok, 10);
      return ok && InRange(n, out);
    }
    default:  // a list (the text held a comma), or nothing
      return false;
  }
}

QString Key(const QString& section, const QString& entry) { return section + '/' + entry; }

}  // namespace

SettingsStore::SettingsStore(QString maker, QString application)
    : settings_(std::make_unique<QSettings>(
          QSettings::NativeFormat, QSettings::UserScope,
          maker.isEmpty() ? QCoreApplication::organizationName() : maker,
          application.isEmpty() ? QCoreApplication::applicationName() : application)) {}

SettingsStore::~SettingsStore() = default;

std::uint32_t SettingsStore::GetProfileInt(const QString& section, const QString& entry,
                                           std::uint32_t def) const {
  std::uint32_t v = def;
  return ParseStored(settings_->value(Key(section, entry)), v) ? v : def;
}

void SettingsStore::WriteProfileInt(const QString& section, const QString& entry,
                                    std::int32_t value) {
  settings_->setValue(Key(section, entry), static_cast<int>(value));
}

bool SettingsStore::Sync() {
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}

QString SettingsStore::FilePath() const { return settings_->fileName(); }

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
