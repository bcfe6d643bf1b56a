#include <gtest/gtest.h>

#include <pwd.h>
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

#include "entry_table.h"
#include "settings_file.h"
#include "settings_store.h"
#include "settings_test_support.h"

namespace vz {
namespace {

TEST_F(SettingsStoreTest, EmptyStoreGivesEachColumnsDefaults) {
  SettingsStore store("Quenfold", "vivedaziv");
  const EntryValues p = ReadEntries(store, "vivedaziv", DefaultColumn::ParticleWindow);
  const EntryValues d = ReadEntries(store, "vivedaziv", DefaultColumn::Dialog);
  EXPECT_EQ(p.DelayTime, 50u);
  EXPECT_EQ(d.DelayTime, 1u);
  EXPECT_EQ(p.NumParticles, 50u);
  EXPECT_EQ(p.MuVal, 9965u);
  EXPECT_FALSE(QFile::exists(ConfPath())) << "reading creates nothing";
}

TEST_F(SettingsStoreTest, RoundTripKeepsAll32Bits) {
  EntryValues v;
  v.NumParticles = 500;
  v.GravityVal = 0xFFFFFFFFu;
  v.DelayTime = 0x80000000u;
  v.Planet = 2;
  {
    SettingsStore store("Quenfold", "vivedaziv");
    ASSERT_TRUE(WriteEntries(store, "vivedaziv", v));
  }
  const QByteArray file = ReadFile();
  EXPECT_TRUE(file.startsWith("[vivedaziv]\n")) << file.constData();
  EXPECT_TRUE(file.contains("GravityVal=-1\n"));
  EXPECT_TRUE(file.contains("DelayTime=-2147483648\n"));
  EXPECT_EQ(file.count('\n'), 14) << "one section line and thirteen entries";

  SettingsStore store("Quenfold", "vivedaziv");
  const EntryValues r = ReadEntries(store, "vivedaziv", DefaultColumn::Dialog);
  EXPECT_EQ(r.GravityVal, 0xFFFFFFFFu);
  EXPECT_EQ(r.DelayTime, 0x80000000u);
  EXPECT_EQ(r.NumParticles, 500u);
  const SimParams p = ParamsFromEntries(r);
  EXPECT_EQ(p.planet, 0) << "a stored 2 is off";
  EXPECT_EQ(p.gravity, 4294967295.0 * 0.1);
  EXPECT_EQ(CountFromEntries(r), 500) << "used as it is";
}

TEST_F(SettingsStoreTest, OnlyWholeNumbersIn32BitsAreRead) {
  WriteFile(
      "[vivedaziv]\n"
      "A=4294967295\nB=-2147483648\nC=4294967296\nD=-2147483649\nE=abc\nF=1,2\n"
      "G=\nH=0x10\nI=12abc\nJ=  7  \nK=\"9\"\nL=1.5\n");
  SettingsStore store("Quenfold", "vivedaziv");
  auto get = [&](const char* e) { return store.GetProfileInt("vivedaziv", e, 42); };
  EXPECT_EQ(get("A"), 0xFFFFFFFFu);
  EXPECT_EQ(get("B"), 0x80000000u);
  for (const char* bad : {"C", "D", "E", "F", "G", "H", "I", "L", "Missing"}) {
    EXPECT_EQ(get(bad), 42u) << bad;
  }
  EXPECT_EQ(get("J"), 7u);
  EXPECT_EQ(get("K"), 9u);
  EXPECT_EQ(store.GetProfileInt("other", "A", 42), 42u) << "sections are separate";
}

TEST_F(SettingsStoreTest, DamagedFileKeepsWhatItCanAndLosesNoEntry) {
  WriteFile(QByteArray("\x01\xff garbage\n[vivedaziv\nNumParticles=77\n", 36) +
            "[vivedaziv]\nNumParticles=77\nCustom=5\n[Other]\nKeep=me\n");
  {
    SettingsStore store("Quenfold", "vivedaziv");
    EntryValues v = ReadEntries(store, "vivedaziv", DefaultColumn::Dialog);
    EXPECT_EQ(v.NumParticles, 77u);
    v.ShowAll = 0;
    WriteEntries(store, "vivedaziv", v);
  }
  SettingsStore store("Quenfold", "vivedaziv");
  EXPECT_EQ(store.GetProfileInt("vivedaziv", "Custom", 0), 5u);
  EXPECT_EQ(store.GetProfileInt("Other", "Keep", 0), 0u) << "text, not a number";
  EXPECT_TRUE(ReadFile().contains("Keep=me"));
  EXPECT_EQ(store.GetProfileInt("vivedaziv", "ShowAll", 1), 0u);
}

TEST_F(SettingsStoreTest, UnwritableStoreReadsDefaultsAndReportsFailure) {
  // A directory where the file should be: unreadable and unwritable even
  // for root.
  ASSERT_TRUE(QDir().mkpath(ConfPath()));
  SettingsStore store("Quenfold", "vivedaziv");
  EXPECT_EQ(ReadEntries(store, "vivedaziv", DefaultColumn::ParticleWindow).DelayTime, 50u);
  EXPECT_FALSE(WriteEntries(store, "vivedaziv", EntryValues{}));
  EXPECT_TRUE(QFileInfo(ConfPath()).isDir());
}

TEST_F(SettingsStoreTest, FailedWriteLeavesTheOldFile) {
  WriteFile("[vivedaziv]\nNumParticles=9\n");
  // The maker folder becomes read-only to everyone by replacing it with a
  // file of the same name after the store has been read.
  SettingsStore store("Quenfold", "vivedaziv");
  EXPECT_EQ(store.GetProfileInt("vivedaziv", "NumParticles", 0), 9u);
  const QString dir = dir_.path() + "/Quenfold";
  ASSERT_TRUE(QDir(dir).rename("vivedaziv.conf", "saved.conf"));
  ASSERT_TRUE(QDir(dir).mkdir("vivedaziv.conf"));
  store.WriteProfileInt("vivedaziv", "NumParticles", 10);
  EXPECT_FALSE(store.Sync());
  ASSERT_TRUE(QDir(dir).rmdir("vivedaziv.conf"));
  ASSERT_TRUE(QDir(dir).rename("saved.conf", "vivedaziv.conf"));
  EXPECT_EQ(ReadFile(), "[vivedaziv]\nNumParticles=9\n");
}

TEST_F(SettingsStoreTest, NamesMatchWhateverTheirCase) {
  WriteFile("[VIVEDAZIV]\nnumparticles=7\nCustom=1\n[Other]\nNumParticles=3\n"
            "[vivedaziv]\nNUMPARTICLES=8\nmuval=9600\n");
  EntryValues v;
  {
    SettingsStore store("Quenfold", "vivedaziv");
    v = ReadEntries(store, "vivedaziv", DefaultColumn::Dialog);
    EXPECT_EQ(v.NumParticles, 8u) << "the last one in the file";
    EXPECT_EQ(v.MuVal, 9600u);
    ASSERT_TRUE(WriteEntries(store, "vivedaziv", v));
  }
  EXPECT_EQ(ReadFile().toStdString(),
            "[vivedaziv]\nCustom=1\n" + SortedEntries(v) + "[Other]\nNumParticles=3\n");
}

// A flawed file that was read and rewritten is saved; a folder that refuses
// the new file fails the save, the settings run says so once and the old
// bytes stay. Root writes anywhere, so the program runs as "nobody" then.

}  // namespace
}  // namespace vz
