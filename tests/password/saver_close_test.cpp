// The saver window's password-guarded close, with the real modules and PAM.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include "password_test_support.h"
#include "saver_wnd.h"
#include "step.h"

namespace vz::test {
namespace {

class SaverCloseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CSaverWnd::ignoreNextClose = false;
    saver_ = new CSaverWnd;
    ASSERT_TRUE(saver_->Create(0, kStylePopup | kStyleVisible, QRect(0, 0, 160, 120), {}));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(saver_));
    QApplication::processEvents();
  }
  void TearDown() override {
    if (saver_) saver_->DestroyWindow();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // Posts one close request and handles it, with `script` playing whatever
  // dialogs it opens.
  void Close(ModalScript& script) {
    script.Start();
    saver_->PostCloseRequest();
    QApplication::sendPostedEvents(saver_, QEvent::Close);
  }

  // Moves the particles so a reseed shows: it zeroes every velocity.
  void Animate() {
    for (int t = 0; t < 3; ++t) Step(saver_->field, *saver_);
    QApplication::processEvents();
    ASSERT_NE(saver_->field.particles[0].vx, 0.0);
  }

  QPointer<CSaverWnd> saver_;
  PasswordFile passwords_{"hunter2"};
};

TEST_F(SaverCloseTest, WithoutProtectionTheFirstRequestCloses) {
  ModuleDirectoryOverride modules(BuiltModuleDirectory());
  ModalScript script;
  Close(script);
  EXPECT_TRUE(NoDialog(script));
  EXPECT_FALSE(saver_->IsAlive());
}

TEST_F(SaverCloseTest, WrongPasswordRestartsOnBlackAndIgnoresOneRequest) {
  SetUsePassword("1");
  ModuleDirectoryOverride modules(BuiltModuleDirectory());
  Animate();
  {
    ModalScript wrong;
    wrong.Then([](QWidget* prompt) { TypeAndEnter(prompt, "letmein"); });
    Close(wrong);
    ASSERT_TRUE(Played(wrong));
  }
  EXPECT_TRUE(saver_->IsAlive());
  EXPECT_FALSE(saver_->verifying);
  EXPECT_TRUE(CSaverWnd::ignoreNextClose);
  QApplication::processEvents();  // the repaint
  EXPECT_EQ(saver_->field.particles[0].vx, 0.0) << "a new layout";
  EXPECT_EQ(saver_->Pixels().pixel(0, 0) & 0xFFFFFF, 0u);

  {
    // Scoped: a script still polling would reject the next prompt.
    ModalScript ignored;
    Close(ignored);
    EXPECT_TRUE(NoDialog(ignored));
  }
  EXPECT_TRUE(saver_->IsAlive());
  EXPECT_FALSE(CSaverWnd::ignoreNextClose) << "exactly one request is ignored";

  ModalScript right;
  right.Then([](QWidget* prompt) { TypeAndEnter(prompt, "hunter2"); });
  Close(right);
  EXPECT_TRUE(Played(right));
  EXPECT_FALSE(saver_->IsAlive());
}

TEST_F(SaverCloseTest, EscapeIsARefusal) {
  SetUsePassword("1");
  ModuleDirectoryOverride modules(BuiltModuleDirectory());
  ModalScript script;
  script.Then([](QWidget* prompt) { PressKey(prompt, Qt::Key_Escape); });
  Close(script);
  EXPECT_TRUE(Played(script));
  EXPECT_TRUE(saver_->IsAlive());
  EXPECT_TRUE(CSaverWnd::ignoreNextClose);
}

TEST_F(SaverCloseTest, RequestsDuringVerificationAreIgnored) {
  SetUsePassword("1");
  ModuleDirectoryOverride modules(BuiltModuleDirectory());
  bool verifying = false;
  ModalScript script;
  script.Then([&](QWidget* prompt) {
    verifying = saver_->verifying;
    // Input and focus changes while the prompt is up post more requests.
    saver_->PostCloseRequest();
    saver_->PostCloseRequest();
    QApplication::sendPostedEvents(saver_, QEvent::Close);
    TypeAndEnter(prompt, "wrong");
  });
  Close(script);
  EXPECT_TRUE(Played(script)) << "no second prompt";
  EXPECT_TRUE(verifying);
  EXPECT_TRUE(saver_->IsAlive());
  EXPECT_TRUE(CSaverWnd::ignoreNextClose) << "the flag is still owed to the next request";
}

TEST_F(SaverCloseTest, MissingModuleClosesWithoutAsking) {
  SetUsePassword("1");
  QTemporaryDir empty;
  ModuleDirectoryOverride modules(empty.path());
  ModalScript script;
  Close(script);
  EXPECT_TRUE(NoDialog(script));
  EXPECT_FALSE(saver_->IsAlive());
}

TEST_F(SaverCloseTest, MissingRoutineReportsThenCloses) {
  SetUsePassword("1");
  ModuleDirectoryOverride modules(NoRoutineModuleDirectory());
  QString seen;
  ModalScript script;
  script.Then([&](QWidget* box) {
    seen = Describe(box);
    PressKey(box, Qt::Key_Return);
  });
  Close(script);
  EXPECT_TRUE(Played(script));
  EXPECT_TRUE(seen.contains("Couldn't get pword verify routine")) << seen.toStdString();
  EXPECT_FALSE(saver_->IsAlive());
}

}  // namespace
}  // namespace vz::test
