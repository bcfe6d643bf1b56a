// PwdChangePasswordA of MPR.DLL and the loader's ChangePassword, with the
// system's own passwd and real dialogs. Nothing here answers passwd: each
// test cancels at its first question, which must end passwd at once and
// leave nothing running. Changing a password for real, as an ordinary user,
// is x11/change_test.sh.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>

#include "loaded_module.h"
#include "password_calls.h"
#include "password_routines.h"
#include "password_test_support.h"

namespace vz::test {
namespace {

// Waits in the change dialog until passwd's first question is in it; the
// dialog's text then.
QString FirstQuestion(QWidget* modal) {
  auto* field = modal->findChild<QLineEdit*>();
  if (field == nullptr) return Describe(modal);
  if (!QTest::qWaitFor([field] { return !field->isReadOnly(); }, 10'000)) {
    return Describe(modal) + QStringLiteral(" (no question came)");
  }
  return Describe(modal);
}

// No child process of ours is left but, at most, dead ones.
bool NoChildRunning() {
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 1000) {
    errno = 0;
    const pid_t reaped = waitpid(-1, nullptr, WNOHANG);
    if (reaped < 0 && errno == ECHILD) return true;
    if (reaped == 0) QTest::qWait(10);
  }
  return false;
}

class ChangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(change_module_.IsLoaded()) << "MPR.DLL not built";
    change_ = change_module_.Find<PwdChangePasswordARoutine>(kChangeRoutineName);
    ASSERT_NE(change_, nullptr);
    saver_.resize(320, 200);
    saver_.show();
  }

  unsigned long Change(ModalScript& script, const char* provider = "SCRSAVE") {
    script.Start();
    return change_(provider, static_cast<unsigned long>(saver_.winId()), 0, 0);
  }

  LoadedModule change_module_{BuiltModuleDirectory() + QStringLiteral("/MPR.DLL")};
  PwdChangePasswordARoutine change_ = nullptr;
  QWidget saver_;
};

TEST_F(ChangeTest, AsksPasswdsQuestionMaskedOverTheSaverAndEscapeEndsPasswd) {
  QWidget* owner = nullptr;
  QString question;
  QString shown = QStringLiteral("no field");
  qint64 escape_to_return_ms = -1;
  QElapsedTimer clock;
  ModalScript script;
  script.Then([&](QWidget* modal) {
    owner = modal->parentWidget();
    question = FirstQuestion(modal);
    Type(modal, QStringLiteral("old"));
    if (auto* field = modal->findChild<QLineEdit*>()) shown = field->displayText() + field->text();
    clock.start();
    PressKey(modal, Qt::Key_Escape);
  });
  EXPECT_NE(Change(script), 0UL);
  escape_to_return_ms = clock.elapsed();
  EXPECT_TRUE(Played(script));
  EXPECT_EQ(owner, &saver_);
  // passwd's own words: root is asked for the new password at once, anyone
  // else for the current one first.
  EXPECT_TRUE(question.startsWith(QStringLiteral("Change Password | "))) << question.toStdString();
  EXPECT_TRUE(question.contains(QStringLiteral("password:"), Qt::CaseInsensitive))
      << question.toStdString();
  if (getuid() != 0) {
    EXPECT_TRUE(question.contains(QStringLiteral("Changing password for ") + CurrentUser()))
        << question.toStdString();
  }
  // Masks for the hidden answer, nothing of the answer itself.
  EXPECT_EQ(shown.size(), 6);
  EXPECT_FALSE(shown.contains(u'o')) << shown.toStdString();
  EXPECT_LT(escape_to_return_ms, 1000);
  EXPECT_TRUE(NoChildRunning()) << "passwd still runs";
}

TEST_F(ChangeTest, OtherProvidersDoNothing) {
  const char* const providers[] = {"NETWORK", "scrsave", "SCRSAVE ", "", nullptr};
  for (const char* provider : providers) {
    SCOPED_TRACE(provider != nullptr ? provider : "null");
    ModalScript script;
    EXPECT_EQ(Change(script, provider), 0UL);
    QTest::qWait(50);
    EXPECT_TRUE(NoDialog(script));
  }
  EXPECT_TRUE(NoChildRunning());
}

TEST_F(ChangeTest, WorksWithoutAnOwnerWindow) {
  QWidget* owner = &saver_;
  QString question;
  ModalScript script;
  script.Then([&](QWidget* modal) {
    owner = modal->parentWidget();
    question = FirstQuestion(modal);
    PressKey(modal, Qt::Key_Escape);
  });
  script.Start();
  EXPECT_NE(change_("SCRSAVE", 0, 0, 0), 0UL);
  EXPECT_TRUE(Played(script));
  EXPECT_EQ(owner, nullptr);
  EXPECT_TRUE(question.contains(QStringLiteral("password:"), Qt::CaseInsensitive))
      << question.toStdString();
  EXPECT_TRUE(NoChildRunning()) << "passwd still runs";
}

// Not in the fixture: the loader must be the only one holding MPR.DLL, so
// that it is really unloaded after the call.
TEST(ChangePasswordTest, LoaderRunsTheChangeAndUnloadsTheModule) {
  ModuleDirectoryOverride modules(BuiltModuleDirectory());
  QWidget saver;
  saver.show();
  QString question;
  ModalScript script;
  script.Then([&](QWidget* modal) {
    question = FirstQuestion(modal);
    PressKey(modal, Qt::Key_Escape);
  });
  script.Start();
  ChangePassword(static_cast<unsigned long>(saver.winId()));
  EXPECT_TRUE(Played(script));
  EXPECT_TRUE(question.contains(QStringLiteral("password:"), Qt::CaseInsensitive))
      << question.toStdString();
  EXPECT_TRUE(NoChildRunning()) << "passwd still runs";
  const QByteArray module_path =
      QFile::encodeName(BuiltModuleDirectory() + QStringLiteral("/MPR.DLL"));
  EXPECT_EQ(dlopen(module_path.constData(), RTLD_NOW | RTLD_NOLOAD), nullptr)
      << "MPR.DLL still loaded";
  // Nothing Qt still holds may point into the unloaded code.
  QTest::qWait(100);
  saver.close();
  QTest::qWait(50);
}

TEST_F(ChangeTest, LoaderReturnsQuietlyWithoutTheModule) {
  QTemporaryDir empty;
  ModuleDirectoryOverride modules(empty.path());
  ModalScript script;
  script.Start();
  ChangePassword(static_cast<unsigned long>(saver_.winId()));
  QTest::qWait(50);
  EXPECT_TRUE(NoDialog(script));
}

}  // namespace
}  // namespace vz::test
