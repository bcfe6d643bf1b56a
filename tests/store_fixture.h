#pragma once
// Shared by the window and dialog tests: a settings folder of the test's
// own, a fixed clock for the layouts, and the program's section of the store.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "random.h"
#include "settings_store.h"

namespace vz {

class StoreFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path()));
    SetTimeSource([] { return std::int64_t{1000}; });
  }
  void TearDown() override { SetTimeSource({}); }

  static QString Section() { return QCoreApplication::applicationName(); }

  void Store(std::initializer_list<std::pair<const char*, int>> entries) {
    SettingsStore store;
    for (auto [name, value] : entries) store.WriteProfileInt(Section(), name, value);
    ASSERT_TRUE(store.Sync());
  }

  QTemporaryDir dir_;
};

}  // namespace vz
