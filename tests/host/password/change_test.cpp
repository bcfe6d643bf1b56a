// PwdChangePasswordA of MPR.DLL and the loader's ChangePassword, against real
// PAM (pam_matrix rewrites its password file) and real dialogs.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <security/pam_appl.h>

#include <QPushButton>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include "loaded_module.h"
#include "password_calls.h"
#include "password_routines.h"
#include "password_test_support.h"

namespace vz::test {
namespace {

// A step answering a question dialog whose prompt mentions `prompt`.
ModalScript::Step Answer(const QString& prompt, const QString& answer) {
  return [prompt, answer](QWidget* modal) {
    EXPECT_TRUE(Describe(modal).contains(prompt)) << Describe(modal).toStdString();
    TypeAndEnter(modal, answer);
  };
}

// A step dismissing a message box whose text mentions `text`.
ModalScript::Step Acknowledge(const QString& text, QString* seen = nullptr) {
  return [text, seen](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr) << Describe(modal).toStdString();
    EXPECT_TRUE(box->text().contains(text)) << box->text().toStdString();
    if (seen != nullptr) *seen = box->text();
    ASSERT_EQ(box->buttons().size(), 1);
    box->buttons().first()->click();
  };
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

  // The password stored now opens the saver.
  bool Verifies(const QString& password) {
    LoadedModule verify_module(BuiltModuleDirectory() +
                               QStringLiteral("/PASSWORD.CPL"));
    const auto verify =
        verify_module.Find<VerifyScreenSavePwdRoutine>(kVerifyRoutineName);
    if (verify == nullptr) return false;
    verify_module.Keep();
    ModalScript script;
    script.Then([password](QWidget* prompt) { TypeAndEnter(prompt, password); });
    script.Start();
    return verify(static_cast<unsigned long>(saver_.winId())) != 0;
  }

  LoadedModule change_module_{BuiltModuleDirectory() + QStringLiteral("/MPR.DLL")};
  PwdChangePasswordARoutine change_ = nullptr;
  QWidget saver_;
  PasswordFile passwords_{"old secret"};
};

TEST_F(ChangeTest, ChangesThePasswordWithPamsOwnQuestions) {
  QWidget* owner = nullptr;
  QString shown = QStringLiteral("no field");
  ModalScript script;
  script
      .Then([&](QWidget* modal) {
        owner = modal->parentWidget();
        Type(modal, QStringLiteral("old"));
        if (auto* field = modal->findChild<QLineEdit*>()) shown = field->displayText() + field->text();
        PressKey(modal, Qt::Key_Backspace);
        PressKey(modal, Qt::Key_Backspace);
        PressKey(modal, Qt::Key_Backspace);
        Answer("Old password:", "old secret")(modal);
      })
      .Then(Acknowledge("Authentication succeeded"))  // PAM_TEXT_INFO
      .Then(Answer("New Password :", "new secret"))
      .Then(Answer("Verify New Password :", "new secret"))
      .Then(Acknowledge("Your password has been changed."));
  EXPECT_EQ(Change(script), 0UL);
  EXPECT_TRUE(Played(script));
  EXPECT_EQ(owner, &saver_);
  // Masks for the hidden answer, nothing of the answer itself.
  EXPECT_EQ(shown.size(), 6);
  EXPECT_FALSE(shown.contains(u'o')) << shown.toStdString();
  EXPECT_EQ(passwords_.Password(), "new secret");
  EXPECT_TRUE(Verifies("new secret"));
  EXPECT_FALSE(Verifies("old secret"));
}

TEST_F(ChangeTest, WrongCurrentPasswordChangesNothing) {
  const QByteArray before = passwords_.Contents();
  QString final_text;
  ModalScript script;
  script.Then(Answer("Old password:", "not my secret"))
      .Then(Acknowledge("Authentication failed"))  // PAM_ERROR_MSG
      .Then(Acknowledge("not changed", &final_text));
  const unsigned long result = Change(script);
  EXPECT_NE(result, 0UL);
  EXPECT_TRUE(Played(script));
  EXPECT_TRUE(final_text.contains(QString::fromLocal8Bit(
      pam_strerror(nullptr, static_cast<int>(result)))))
      << final_text.toStdString();
  EXPECT_EQ(passwords_.Contents(), before);
}

TEST_F(ChangeTest, MismatchedNewPasswordsChangeNothing) {
  const QByteArray before = passwords_.Contents();
  ModalScript script;
  script.Then(Answer("Old password:", "old secret"))
      .Then(Acknowledge("Authentication succeeded"))
      .Then(Answer("New Password :", "new secret"))
      .Then(Answer("Verify New Password :", "new secreT"))
      .Then(Acknowledge("Passwords do not match"))
      .Then(Acknowledge("not changed"));
  EXPECT_NE(Change(script), 0UL);
  EXPECT_TRUE(Played(script));
  EXPECT_EQ(passwords_.Contents(), before);
}

TEST_F(ChangeTest, CancelStopsWithoutFurtherQuestions) {
  const QByteArray before = passwords_.Contents();
  ModalScript script;
  script.Then(Answer("Old password:", "old secret"))
      .Then(Acknowledge("Authentication succeeded"))
      .Then([](QWidget* modal) {
        Type(modal, "half typed");
        PressKey(modal, Qt::Key_Escape);
      });
  EXPECT_NE(Change(script), 0UL);
  EXPECT_TRUE(Played(script));
  EXPECT_EQ(passwords_.Contents(), before);
}

TEST_F(ChangeTest, OtherProvidersDoNothing) {
  const QByteArray before = passwords_.Contents();
  const char* const providers[] = {"NETWORK", "scrsave", "SCRSAVE ", "", nullptr};
  for (const char* provider : providers) {
    SCOPED_TRACE(provider != nullptr ? provider : "null");
    ModalScript script;
    EXPECT_EQ(Change(script, provider), 0UL);
    QTest::qWait(50);
    EXPECT_TRUE(NoDialog(script));
  }
  EXPECT_EQ(passwords_.Contents(), before);
}

TEST_F(ChangeTest, WorksWithoutAnOwnerWindow) {
  QWidget* owner = &saver_;
  ModalScript script;
  script
      .Then([&](QWidget* modal) {
        owner = modal->parentWidget();
        Answer("Old password:", "old secret")(modal);
      })
      .Then(Acknowledge("Authentication succeeded"))
      .Then(Answer("New Password :", "third"))
      .Then(Answer("Verify New Password :", "third"))
      .Then(Acknowledge("changed"));
  script.Start();
  EXPECT_EQ(change_("SCRSAVE", 0, 0, 0), 0UL);
  EXPECT_EQ(owner, nullptr);
  EXPECT_EQ(passwords_.Password(), "third");
}

// Not in the fixture: the loader must be the only one holding MPR.DLL, so
// that it is really unloaded after the call.
TEST(ChangePasswordTest, LoaderRunsTheChangeAndUnloadsTheModule) {
  PasswordFile passwords("old secret");
  ModuleDirectoryOverride modules(BuiltModuleDirectory());
  QWidget saver;
  saver.show();
  ModalScript script;
  script.Then(Answer("Old password:", "old secret"))
      .Then(Acknowledge("Authentication succeeded"))
      .Then(Answer("New Password :", "from the loader"))
      .Then(Answer("Verify New Password :", "from the loader"))
      .Then(Acknowledge("changed"));
  script.Start();
  ChangePassword(static_cast<unsigned long>(saver.winId()));
  EXPECT_TRUE(Played(script));
  EXPECT_EQ(passwords.Password(), "from the loader");
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
