// The saver's close decision: the module lookup and the verify call, with
// the real modules.

#include <gtest/gtest.h>

#include <algorithm>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "desktop_setting.h"
#include "module_directory.h"
#include "password_calls.h"
#include "password_test_support.h"

namespace vz::test {
namespace {

TEST(ModuleDirectoryTest, FollowsVariableThenInstalledLayoutThenExecutable) {
  const QString executable_dir = QCoreApplication::applicationDirPath();
  {
    ModuleDirectoryOverride variable(QStringLiteral("/some/where"));
    EXPECT_EQ(ModuleDirectory(), QStringLiteral("/some/where"));
  }
  ModuleDirectoryOverride empty(QString{});
  EXPECT_EQ(ModuleDirectory(), executable_dir);

  // The installed layout, faked beside the test executable in the build tree.
  QDir lib(QDir::cleanPath(executable_dir + QStringLiteral("/../lib")));
  lib.removeRecursively();
  ASSERT_TRUE(lib.mkpath(QStringLiteral("vivedaziv")));
  EXPECT_EQ(ModuleDirectory(), lib.filePath(QStringLiteral("vivedaziv")));
  lib.removeRecursively();
}

class CloseCheckTest : public ::testing::Test {
 protected:
  // Runs the close check with `script` playing the dialogs it opens.
  bool CheckBeforeClose(ModalScript& script) {
    script.Start();
    return CheckPasswordBeforeClose(static_cast<unsigned long>(saver_.winId()),
                                    verifying_);
  }

  QWidget saver_;
  bool verifying_ = false;
  PasswordFile passwords_{"hunter2"};
};

TEST_F(CloseCheckTest, ClosesWithoutLoadingWhenProtectionIsOff) {
  // The module here would show an error box if it were loaded at all.
  ModuleDirectoryOverride modules(NoRoutineModuleDirectory());
  const QByteArray files[] = {
      QByteArray(),  // no file
      "[General]\nOther=1\n",
      "[General]\nScreenSaveUsePassword=abc\n",
      "[General]\nScreenSaveUsePassword=0\n",
  };
  for (const QByteArray& file : files) {
    SCOPED_TRACE(file.isNull() ? "no file" : file.constData());
    WriteDesktopConfig(file);
    ModalScript script;
    EXPECT_TRUE(CheckBeforeClose(script));
    EXPECT_TRUE(NoDialog(script));
    EXPECT_FALSE(verifying_);
  }
}

TEST_F(CloseCheckTest, ClosesWithOneLineOnStderrWhenTheModuleIsMissing) {
  SetUsePassword("1");
  QTemporaryDir empty;
  ModuleDirectoryOverride modules(empty.path());
  ModalScript script;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(CheckBeforeClose(script));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(NoDialog(script));
  EXPECT_FALSE(verifying_);
  // One line that names the file looked for.
  const std::string path = QFile::encodeName(empty.filePath(QStringLiteral("PASSWORD.CPL"))).toStdString();
  EXPECT_NE(said.find(path + " could not be loaded"), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

TEST_F(CloseCheckTest, ReportsAMissingRoutineThenCloses) {
  SetUsePassword("1");
  ModuleDirectoryOverride modules(NoRoutineModuleDirectory());
  QString text, title;
  QMessageBox::Icon icon = QMessageBox::Critical;
  qsizetype buttons = 0;
  QWidget* owner = &saver_;
  ModalScript script;
  script.Then([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) return;
    text = box->text();
    title = box->windowTitle();
    icon = box->icon();
    buttons = box->buttons().size();
    owner = box->parentWidget();
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_TRUE(CheckBeforeClose(script));
  ASSERT_TRUE(Played(script));
  EXPECT_EQ(text, QStringLiteral("Couldn't get pword verify routine"));
  EXPECT_EQ(title, QStringLiteral("Error"));
  EXPECT_EQ(icon, QMessageBox::NoIcon);
  EXPECT_EQ(buttons, 1);
  EXPECT_EQ(owner, nullptr);
  EXPECT_FALSE(verifying_);
}

TEST_F(CloseCheckTest, RightPasswordClosesAndStaysVerifying) {
  SetUsePassword("1");
  ModuleDirectoryOverride modules(BuiltModuleDirectory());
  bool verifying_during_prompt = false;
  ModalScript script;
  script.Then([&](QWidget* prompt) {
    verifying_during_prompt = verifying_;
    TypeAndEnter(prompt, "hunter2");
  });
  EXPECT_TRUE(CheckBeforeClose(script));
  EXPECT_TRUE(Played(script));
  EXPECT_TRUE(verifying_during_prompt);
  EXPECT_TRUE(verifying_);
}

TEST_F(CloseCheckTest, RefusalKeepsTheSaverAndClearsVerifying) {
  SetUsePassword("1");
  ModuleDirectoryOverride modules(BuiltModuleDirectory());
  {
    SCOPED_TRACE("wrong password");
    ModalScript script;
    script.Then([](QWidget* prompt) { TypeAndEnter(prompt, "hunter3"); });
    EXPECT_FALSE(CheckBeforeClose(script));
    EXPECT_FALSE(verifying_);
  }
  {
    SCOPED_TRACE("Escape");
    ModalScript script;
    script.Then([](QWidget* prompt) { PressKey(prompt, Qt::Key_Escape); });
    EXPECT_FALSE(CheckBeforeClose(script));
    EXPECT_FALSE(verifying_);
  }
  {
    // The module stays loaded between calls; a second prompt still works.
    SCOPED_TRACE("then right");
    ModalScript script;
    script.Then([](QWidget* prompt) { TypeAndEnter(prompt, "hunter2"); });
    EXPECT_TRUE(CheckBeforeClose(script));
  }
}

}  // namespace
}  // namespace vz::test
