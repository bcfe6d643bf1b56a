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

// Saves: what reaches the disk, and where.
class SettingsFileTest : public SettingsStoreTest {};

TEST_F(SettingsFileTest, SaveFailsExactlyWhenTheFileIsNotWritten) {
  for (const char* flawed : {"\xEF\xBB\xBF[vivedaziv]\nMuVal=9600\n",
                             "[vivedaziv]\nMuVal 9700\nMuVal=9600\n"}) {
    WriteFile(flawed);
    {
      SettingsStore store("Quenfold", "vivedaziv");
      const EntryValues v = ReadEntries(store, "vivedaziv", DefaultColumn::Dialog);
      EXPECT_TRUE(WriteEntries(store, "vivedaziv", v)) << flawed;
    }
    EXPECT_EQ(ReadFile().count('='), 13) << flawed;
    EXPECT_EQ(SettingsStore("Quenfold", "vivedaziv").GetProfileInt("vivedaziv", "MuVal", 0), 9600u);
  }

  WriteFile("[vivedaziv]\nPlanet=2\n");  // the dialog saves it as 0
  const QString program = dir_.path() + "/vivedaziv", folder = dir_.path() + "/Quenfold";
  ASSERT_TRUE(QFile::copy(VIVEDAZIV_PROGRAM, program));
  const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                        QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
  ASSERT_TRUE(QFile::setPermissions(dir_.path(), readOnly | QFile::WriteOwner));
  ASSERT_TRUE(QFile::setPermissions(folder, readOnly));
  const QByteArray old = ReadFile();

  // Runs the settings dialog as "nobody" and ends it with SIGTERM once the
  // event loop takes signals: through a pipe whose two ends the program holds
  // (earlier they end it at once, before there is anything to save). Its
  // stderr, and how long it ran on after the first signal.
  auto runDialog = [&](qint64& afterSignalMs) {
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* home : {"XDG_CONFIG_HOME", "HOME"}) env.insert(home, dir_.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    run.setProcessEnvironment(env);
    if (const passwd* nobody = getuid() == 0 ? getpwnam("nobody") : nullptr) {
      run.setChildProcessModifier([uid = nobody->pw_uid, gid = nobody->pw_gid] {
        if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(127);
      });
    }
    run.start(program, {"/c"});
    EXPECT_TRUE(run.waitForStarted());
    auto loopTakesSignals = [&] {
      const QString fds = QString("/proc/%1/fd/").arg(run.processId());
      QList<QByteArray> pipes;
      for (const QString& fd : QDir(fds).entryList(QDir::Files | QDir::System)) {
        char target[64] = {};
        const QByteArray link = QFile::encodeName(fds + fd);
        if (readlink(link.constData(), target, sizeof target - 1) > 0 &&
            QByteArray(target).startsWith("pipe:")) {
          pipes.append(target);
        }
      }
      return std::any_of(pipes.begin(), pipes.end(),
                         [&](const QByteArray& p) { return pipes.count(p) > 1; });
    };
    QElapsedTimer sinceSignal;
    for (int i = 0; i < 300 && !run.waitForFinished(100); ++i) {
      if (!loopTakesSignals()) continue;
      if (!sinceSignal.isValid()) sinceSignal.start();
      kill(pid_t(run.processId()), SIGTERM);
    }
    afterSignalMs = sinceSignal.isValid() ? sinceSignal.elapsed() : -1;
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), 0);
    return QString::fromLocal8Bit(run.readAllStandardError());
  };
  qint64 ms = 0;
  QString err = runDialog(ms);
  ASSERT_TRUE(QFile::setPermissions(folder, readOnly | QFile::WriteOwner));
  EXPECT_EQ(err.count("vivedaziv: could not save the settings to " + ConfPath() + ": "), 1)
      << err.toStdString();
  EXPECT_EQ(ReadFile(), old);

  // Another process holds the lock for longer than a save waits for it: the
  // signal ends the program at once all the same, and nothing is written.
  QFile lock(ConfPath() + ".lock");
  ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
  ASSERT_EQ(fchmod(lock.handle(), 0666), 0);
  ASSERT_EQ(flock(lock.handle(), LOCK_EX), 0);
  err = runDialog(ms);
  EXPECT_LT(ms, 2500) << "a save waits 5 s for a lock";
  EXPECT_TRUE(err.contains("could not save the settings to " + ConfPath() + ": ")) << err.toStdString();
  EXPECT_EQ(ReadFile(), old);
}

// Files other editors and interrupted saves leave behind: every line that
// is not ours stays byte for byte, and what is no regular file reads as
// defaults, is refused by a save and never blocks.
TEST_F(SettingsFileTest, OddFilesAreReadSafelyAndKeptByteForByte) {
  // Lone CR line ends, text after a header, a name behind a byte-order
  // mark, a value that other readers continue onto the next line.
  const QByteArray before =
      "[Other]\rKeep=1\r[vivedaziv] ; mine\rNumParticles=7\r\xEF\xBB\xBF"
      "DelayTime=3\rPath=C:\\\r";
  WriteFile(before);
  EntryValues v;
  {
    SettingsStore store("Quenfold", "vivedaziv");
    v = ReadEntries(store, "vivedaziv", DefaultColumn::ParticleWindow);
    EXPECT_EQ(v.NumParticles, 7u);
    EXPECT_EQ(v.DelayTime, 50u) << "not the name behind the mark";
    ASSERT_TRUE(WriteEntries(store, "vivedaziv", v));
  }
  EXPECT_EQ(ReadFile().toStdString(),
            "[Other]\rKeep=1\r[vivedaziv] ; mine\r\xEF\xBB\xBF"
            "DelayTime=3\rPath=C:\\\r\r" + SortedEntries(v, "\r"));

  // An empty lock file of a save killed before it wrote its owner.
  QFile lock(ConfPath() + ".lock");
  ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
  lock.close();
  v.NumParticles = 8;
  EXPECT_TRUE(WriteEntries(*std::make_unique<SettingsStore>("Quenfold", "vivedaziv"),
                           "vivedaziv", v));
  EXPECT_EQ(SettingsStore("Quenfold", "vivedaziv").GetProfileInt("vivedaziv", "NumParticles", 0),
            8u);
  EXPECT_FALSE(lock.exists());

  // A FIFO would block the open, /dev/zero would never end.
  const QByteArray path = QFile::encodeName(ConfPath());
  for (const char* link : {"", "/dev/zero"}) {
    ASSERT_EQ(unlink(path.constData()), 0);
    ASSERT_EQ(*link ? symlink(link, path.constData()) : mkfifo(path.constData(), 0600), 0);
    SettingsStore store("Quenfold", "vivedaziv");
    EXPECT_EQ(ReadEntries(store, "vivedaziv", DefaultColumn::ParticleWindow).NumParticles, 50u);
    EXPECT_FALSE(WriteEntries(store, "vivedaziv", v)) << link;
    struct stat st = {};
    EXPECT_EQ(lstat(path.constData(), &st), 0);
    EXPECT_TRUE(*link ? S_ISLNK(st.st_mode) : S_ISFIFO(st.st_mode)) << "left in place";
  }
}

// A save that does not fit on the disk fails and keeps every old byte; once
// there is room it saves. A small tmpfs is filled for real, up to one free
// page: room for a lock file's record, not for the new file.
TEST_F(SettingsFileTest, FullDiskKeepsTheOldFile) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
  const QString folder = dir_.path() + "/Quenfold";
  const QByteArray mountPoint = QFile::encodeName(folder);
  ASSERT_TRUE(QDir().mkpath(folder));
  if (mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "could not mount a tmpfs: " << strerror(errno);
  }
  const auto unmount = qScopeGuard([&] { umount2(mountPoint.constData(), MNT_DETACH); });

  const QByteArray old = "[Other]\n" + QByteArray(5000, ';') + "\n[vivedaziv]\nNumParticles=9\n";
  WriteFile(old);
  auto fill = [&](const QString& name, qsizetype most) {
    QFile f(folder + "/" + name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    for (qsizetype n = 0; n < most && f.write(QByteArray(1024, 'x')) > 0; n += 1024) {
    }
  };
  fill("page", 4096);
  fill("fill", 1 << 20);
  ASSERT_TRUE(QFile::remove(folder + "/page"));

  EntryValues v;
  v.NumParticles = 10;
  EXPECT_FALSE(WriteEntries(*std::make_unique<SettingsStore>("Quenfold", "vivedaziv"),
                            "vivedaziv", v));
  EXPECT_EQ(ReadFile(), old);
  EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).join(' '),
            "fill vivedaziv.conf") << "nothing left behind";

  ASSERT_TRUE(QFile::remove(folder + "/fill"));
  EXPECT_TRUE(WriteEntries(*std::make_unique<SettingsStore>("Quenfold", "vivedaziv"),
                           "vivedaziv", v));
  EXPECT_EQ(ReadFile().toStdString(),
            old.left(old.indexOf("NumParticles")).toStdString() + SortedEntries(v));
}

// A dotfile manager's links: ~/.config a link to another folder, and the
// file a relative link from there. The file that reading finds is the one
// saved, under the lock beside it, and it stays the same file with all its
// names; nothing is written where the link's text would point from the
// linked folder. What other readers continue with "\" stays put however
// often it is saved; a read-only file, or one a save would take beyond what
// a read takes, is refused with the reason, every byte kept; temporaries of
// killed saves go.
TEST_F(SettingsFileTest, SavesGoToTheFileReadAndKeepItsIdentity) {
  const QString root = dir_.path();
  ASSERT_TRUE(QDir().mkpath(root + "/dotfiles/config/Quenfold"));
  ASSERT_TRUE(QDir().mkpath(root + "/dotfiles/store"));
  ASSERT_TRUE(QDir().mkpath(root + "/home/store"));  // where the text points
  ASSERT_TRUE(QFile::link(root + "/dotfiles/config", root + "/home/.config"));
  ASSERT_EQ(symlink("../../store/vivedaziv.conf",
                    QFile::encodeName(root + "/dotfiles/config/Quenfold/vivedaziv.conf")
                        .constData()),
            0);
  const QString real = root + "/dotfiles/store/vivedaziv.conf";
  // The continued line ends in a lone CR, in a file of LF line ends.
  const QByteArray before = "[vivedaziv]\nPath=C:\\\rNumParticles=7\n";
  {
    QFile f(real);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(before);
  }
  const QByteArray second = QFile::encodeName(root + "/second-name.conf");
  ASSERT_EQ(link(QFile::encodeName(real).constData(), second.constData()), 0);
  for (const char* stale : {"/.vivedaziv.conf.new1f2e", "/.vivedaziv.conf.newdeadbeef"}) {
    QFile f(root + "/dotfiles/store" + stale);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(1000, 'x'));
  }
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/home/.config"));
  struct stat was = {};
  ASSERT_EQ(stat(QFile::encodeName(real).constData(), &was), 0);

  auto read = [](const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  };
  EntryValues v;
  QByteArray saved;
  for (int i = 0; i < 5; ++i) {
    SettingsStore store("Quenfold", "vivedaziv");
    v = ReadEntries(store, "vivedaziv", DefaultColumn::Dialog);
    ASSERT_EQ(v.NumParticles, 7u);
    ASSERT_TRUE(WriteEntries(store, "vivedaziv", v)) << store.LastError().toStdString();
    if (i == 0) saved = read(real);
    EXPECT_EQ(read(real), saved) << "saved " << i + 1 << " times";
  }
  EXPECT_EQ(saved.toStdString(), "[vivedaziv]\nPath=C:\\\r\r" + SortedEntries(v));
  EXPECT_EQ(read(root + "/second-name.conf"), saved);
  struct stat now = {};
  ASSERT_EQ(stat(QFile::encodeName(real).constData(), &now), 0);
  EXPECT_EQ(now.st_ino, was.st_ino);
  EXPECT_EQ(now.st_nlink, 2u);
  EXPECT_EQ(QDir(root + "/home/store").entryList(QDir::Files | QDir::Hidden).size(), 0);
  EXPECT_EQ(QDir(root + "/dotfiles/store").entryList(QDir::Files | QDir::Hidden).join(' '),
            "vivedaziv.conf") << "no lock, no temporaries left";
  EXPECT_TRUE(QFileInfo(root + "/dotfiles/config/Quenfold/vivedaziv.conf").isSymLink());

  // Just under the size a read takes: the save would cross it.
  const QByteArray big =
      "[vivedaziv]\n;" + QByteArray(kMaxSettingsFileSize - 30, 'x') + "\nNumParticles=7\n";
  ASSERT_LE(big.size(), kMaxSettingsFileSize);
  ASSERT_EQ(unlink(second.constData()), 0);
  for (const bool readOnly : {false, true}) {
    QFile f(real);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(readOnly ? before : big);
    f.close();
    if (readOnly) {
      ASSERT_TRUE(f.setPermissions(QFile::ReadOwner | QFile::ReadOther));
    }
    SettingsStore store("Quenfold", "vivedaziv");
    v = ReadEntries(store, "vivedaziv", DefaultColumn::Dialog);
    EXPECT_EQ(v.NumParticles, 7u);
    EXPECT_FALSE(WriteEntries(store, "vivedaziv", v));
    EXPECT_TRUE(store.LastError().contains(readOnly ? "read-only" : "4 MiB"))
        << store.LastError().toStdString();
    EXPECT_EQ(read(real), readOnly ? before : big);
  }
}

// The folder by the XDG base directory rules: a relative XDG_CONFIG_HOME
// counts for nothing, the home comes from the password database when HOME is
// unset, the name keeps bytes that are no UTF-8, and new folders are the
// user's alone. Root saving a user's file (sudo -E, su with the user's HOME)
// leaves it and the folders it makes the user's.
TEST_F(SettingsFileTest, ConfigFolderFollowsTheXdgRulesAndTheUser) {
  const QByteArray xdg = qgetenv("XDG_CONFIG_HOME"), home = qgetenv("HOME");
  const auto restore = qScopeGuard([&] {
    qputenv("XDG_CONFIG_HOME", xdg);
    qputenv("HOME", home);
  });
  const passwd* me = getpwuid(getuid());
  ASSERT_NE(me, nullptr);
  const QByteArray mine = QByteArray(me->pw_dir) + "/.config/Quenfold/vivedaziv.conf";
  qputenv("XDG_CONFIG_HOME", "relative/config");
  qunsetenv("HOME");
  EXPECT_EQ(SettingsStore::FileNameFor("Quenfold", "vivedaziv"), mine);
  qputenv("HOME", QFile::encodeName(dir_.path()) + "/caf\xe9");
  EXPECT_EQ(SettingsStore::FileNameFor("Quenfold", "vivedaziv"),
            QFile::encodeName(dir_.path()) + "/caf\xe9/.config/Quenfold/vivedaziv.conf");
  ASSERT_EQ(mkdir(qgetenv("HOME").constData(), 0755), 0);
  {
    SettingsStore store("Quenfold", "vivedaziv");
    ASSERT_TRUE(WriteEntries(store, "vivedaziv", EntryValues{}))
        << store.LastError().toStdString();
  }
  struct stat st = {};
  ASSERT_EQ(stat((qgetenv("HOME") + "/.config/Quenfold").constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(stat((qgetenv("HOME") + "/.config").constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  if (geteuid() != 0) return;
  // A user's home, with the file in place and without its folders.
  const passwd* user = getpwnam("nobody");
  ASSERT_NE(user, nullptr);
  for (const bool fileThere : {true, false}) {
    const QByteArray userHome = QFile::encodeName(dir_.path()) + (fileThere ? "/u1" : "/u2");
    const QByteArray file = userHome + "/.config/Quenfold/vivedaziv.conf";
    ASSERT_EQ(mkdir(userHome.constData(), 0755), 0);
    ASSERT_EQ(chown(userHome.constData(), user->pw_uid, user->pw_gid), 0);
    qputenv("HOME", userHome);
    if (fileThere) {
      {
        SettingsStore store("Quenfold", "vivedaziv");
        ASSERT_TRUE(WriteEntries(store, "vivedaziv", EntryValues{}));
      }
      for (const char* made : {"/.config", "/.config/Quenfold", "/.config/Quenfold/vivedaziv.conf"}) {
        ASSERT_EQ(chown((userHome + made).constData(), user->pw_uid, user->pw_gid), 0);
      }
    }
    EntryValues v;
    v.NumParticles = 9;
    SettingsStore store("Quenfold", "vivedaziv");
    ASSERT_TRUE(WriteEntries(store, "vivedaziv", v)) << store.LastError().toStdString();
    for (const char* made : {"/.config", "/.config/Quenfold", "/.config/Quenfold/vivedaziv.conf"}) {
      ASSERT_EQ(stat((userHome + made).constData(), &st), 0);
      EXPECT_EQ(st.st_uid, user->pw_uid) << made << (fileThere ? " kept" : " made");
      EXPECT_EQ(st.st_gid, user->pw_gid) << made;
    }
    EXPECT_EQ(SettingsStore("Quenfold", "vivedaziv").GetProfileInt("vivedaziv", "NumParticles", 0), 9u);
  }
}

}  // namespace
}  // namespace vz
