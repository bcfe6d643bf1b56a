#pragma once
// Shared by the settings tests: a configuration folder of their own and the
// file as a save writes it.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <map>
#include <string>

#include "entry_table.h"

namespace vz {

// Every test gets its own configuration directory.
class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path()));
  }

  QString ConfPath() const { return dir_.path() + "/Quenfold/vivedaziv.conf"; }

  void WriteFile(const QByteArray& text) {
    QDir().mkpath(dir_.path() + "/Quenfold");
    QFile f(ConfPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }

  QByteArray ReadFile() const {
    QFile f(ConfPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  QTemporaryDir dir_;
};

// The thirteen entries as a save writes them: sorted, one a line.
inline std::string SortedEntries(const EntryValues& v, const std::string& eol = "\n") {
  std::map<std::string, std::int32_t> sorted;
  for (const EntryInfo& e : kEntries) sorted[std::string(e.name)] = std::int32_t(v.*e.field);
  std::string out;
  for (auto& [name, value] : sorted) out += name + "=" + std::to_string(value) + eol;
  return out;
}

}  // namespace vz
