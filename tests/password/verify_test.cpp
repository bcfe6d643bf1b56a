// VerifyScreenSavePwd of PASSWORD.CPL against real PAM (pam_wrapper serving
// pam_matrix) and real widgets.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include "loaded_module.h"
#include "password_routines.h"
#include "password_test_support.h"

namespace vz::test {
namespace {

class VerifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module_.IsLoaded()) << "PASSWORD.CPL not built";
    verify_ = module_.Find<VerifyScreenSavePwdRoutine>(kVerifyRoutineName);
    ASSERT_NE(verify_, nullptr);
    saver_.resize(320, 200);
    saver_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&saver_));
  }

  void TearDown() override { qunsetenv("VIVEDAZIV_PROMPT_TIMEOUT_MS"); }

  int Verify(ModalScript& script) {
    script.Start();
    return verify_(static_cast<unsigned long>(saver_.winId()));
  }

  LoadedModule module_{BuiltModuleDirectory() + QStringLiteral("/PASSWORD.CPL")};
  VerifyScreenSavePwdRoutine verify_ = nullptr;
  QWidget saver_;
  PasswordFile passwords_{"open sesame"};
};

TEST_F(VerifyTest, RightPasswordIsAccepted) {
  QWidget* owner = nullptr;
  QString shown;
  ModalScript script;
  script.Then([&](QWidget* prompt) {
    owner = prompt->parentWidget();
    shown = Describe(prompt);
    TypeAndEnter(prompt, QStringLiteral("open sesame"));
  });
  EXPECT_NE(Verify(script), 0);
  EXPECT_TRUE(Played(script));
  EXPECT_EQ(owner, &saver_) << "the prompt belongs over the saver window";
  EXPECT_TRUE(shown.contains(QStringLiteral("User: ") + QString::fromLocal8Bit(CurrentUser())))
      << shown.toStdString();
}

TEST_F(VerifyTest, CtrlUClearsAndTheButtonUnlocks) {
  bool button_found = false;
  ModalScript script;
  script.Then([&](QWidget* prompt) {
    // Ctrl+U must drop what was typed, not only its masks.
    Type(prompt, QStringLiteral("a typo"));
    QTest::keyClick(prompt->focusWidget(), Qt::Key_U, Qt::ControlModifier);
    Type(prompt, QStringLiteral("open sesame"));
    for (QPushButton* button : prompt->findChildren<QPushButton*>()) {
      if (button->text() != QStringLiteral("Unlock")) continue;
      button_found = true;
      QTest::mouseClick(button, Qt::LeftButton);
      return;
    }
    PressKey(prompt, Qt::Key_Escape);
  });
  EXPECT_NE(Verify(script), 0);
  EXPECT_TRUE(button_found);
}

// A letter's text against its Shift key, as a keyboard with Caps Lock sends it.
void TypeLetter(QWidget* prompt, Qt::Key key, const char* text, Qt::KeyboardModifiers modifiers) {
  QTest::sendKeyEvent(QTest::Click, prompt->focusWidget(), key, QString::fromLatin1(text),
                      modifiers);
}

TEST_F(VerifyTest, PromptShowsWhatIsTypedAndWhatHappens) {
  QStringList problems;
  QElapsedTimer since_enter;
  ModalScript script;
  script.Then([&](QWidget* prompt) {
    auto* field = prompt->findChild<QLineEdit*>();
    QLabel* caps = nullptr;
    for (QLabel* label : prompt->findChildren<QLabel*>()) {
      if (label->text().contains(QStringLiteral("Caps Lock"))) caps = label;
    }
    if (field == nullptr || caps == nullptr) {
      problems << QStringLiteral("no field or Caps Lock note: ") + Describe(prompt);
      PressKey(prompt, Qt::Key_Escape);
      return;
    }
    // One mask character per character typed, whatever its UTF-8 length;
    // the field holds nothing of the password itself.
    const auto expect_masks = [&](int count, const char* when) {
      const QString shown = field->displayText();
      const QChar mask = shown.isEmpty() ? QChar() : shown.front();
      if (shown.size() != count || shown.count(mask) != count || field->text().contains(u'g')) {
        problems << QStringLiteral("%1: field shows '%2', holds '%3'")
                        .arg(QLatin1String(when), shown, field->text());
      }
    };
    if (caps->isVisible()) problems << QStringLiteral("Caps Lock note before any key");
    Type(prompt, QStringLiteral("xyz"));
    QTest::keyClick(field, Qt::Key_U, Qt::ControlModifier);
    expect_masks(0, "after Ctrl+U");
    Type(prompt, QStringLiteral("grüß€"));
    expect_masks(5, "after typing");
    PressKey(prompt, Qt::Key_Backspace);
    expect_masks(4, "after Backspace");
    TypeLetter(prompt, Qt::Key_G, "G", Qt::NoModifier);
    if (!caps->isVisible()) problems << QStringLiteral("no Caps Lock note for G without Shift");
    TypeLetter(prompt, Qt::Key_G, "g", Qt::ShiftModifier);
    if (!caps->isVisible()) problems << QStringLiteral("no Caps Lock note for g with Shift");
    TypeLetter(prompt, Qt::Key_G, "G", Qt::ShiftModifier);
    if (caps->isVisible()) problems << QStringLiteral("Caps Lock note after G with Shift");
    expect_masks(7, "after the letters");

    PressKey(prompt, Qt::Key_Return);
    since_enter.start();
    if (!Describe(prompt).contains(QStringLiteral("Checking"))) {
      problems << QStringLiteral("while checking: ") + Describe(prompt);
    }
    // The refusal shows in the prompt, before the routine returns.
    if (!QTest::qWaitFor([&] { return Describe(prompt).contains(QStringLiteral("Wrong password")); },
                         10'000) ||
        !prompt->isVisible()) {
      problems << QStringLiteral("after the refusal: ") + Describe(prompt);
    }
  });
  EXPECT_EQ(Verify(script), 0);
  EXPECT_TRUE(Played(script));
  EXPECT_GE(since_enter.elapsed(), 900) << "the refusal is on show for about a second";
  EXPECT_TRUE(problems.isEmpty()) << problems.join(QStringLiteral("\n")).toStdString();
}

TEST_F(VerifyTest, RefusesWhatPamRefuses) {
  {
    SCOPED_TRACE("wrong password");
    ModalScript script;
    script.Then([](QWidget* prompt) { TypeAndEnter(prompt, "open sesam"); });
    EXPECT_EQ(Verify(script), 0);
    EXPECT_TRUE(Played(script));
  }
  {
    SCOPED_TRACE("empty password");
    ModalScript script;
    script.Then([](QWidget* prompt) { PressKey(prompt, Qt::Key_Return); });
    EXPECT_EQ(Verify(script), 0);
  }
  {
    // Right password, but the account may only use another service:
    // pam_acct_mgmt must have its say after pam_authenticate.
    SCOPED_TRACE("account not allowed");
    PasswordFile other_service("open sesame", "sshd");
    ModalScript script;
    script.Then([](QWidget* prompt) { TypeAndEnter(prompt, "open sesame"); });
    EXPECT_EQ(Verify(script), 0);
  }
}

TEST_F(VerifyTest, GivingUpReturnsZero) {
  {
    SCOPED_TRACE("Escape");
    ModalScript script;
    script.Then([](QWidget* prompt) {
      Type(prompt, "open sesame");
      PressKey(prompt, Qt::Key_Escape);
    });
    EXPECT_EQ(Verify(script), 0);
    EXPECT_TRUE(Played(script));
  }
  {
    SCOPED_TRACE("closing the prompt");
    ModalScript script;
    script.Then([](QWidget* prompt) {
      Type(prompt, "open sesame");
      prompt->close();
    });
    EXPECT_EQ(Verify(script), 0);
    EXPECT_TRUE(Played(script));
  }
}

TEST_F(VerifyTest, UntouchedPromptTimesOutAndShowsTheTimeLeft) {
  qputenv("VIVEDAZIV_PROMPT_TIMEOUT_MS", "1000");
  int full = -1, first = -1, later = -1;
  ModalScript script;
  script.Then([&](QWidget* prompt) {
    auto* bar = prompt->findChild<QProgressBar*>();
    if (bar == nullptr) return;
    full = bar->maximum();
    first = bar->value();
    QTest::qWait(400);
    later = bar->value();
  });
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(Verify(script), 0);
  EXPECT_GE(clock.elapsed(), 1000);
  EXPECT_LT(clock.elapsed(), 10'000);
  EXPECT_TRUE(Played(script));
  // The bar drains from full as the timeout runs.
  EXPECT_EQ(full, 1000);
  EXPECT_GT(first, 700);
  EXPECT_LT(later, first - 200);
  EXPECT_GT(later, 0);
}

TEST_F(VerifyTest, TypingRestartsTheTimeout) {
  qputenv("VIVEDAZIV_PROMPT_TIMEOUT_MS", "600");
  ModalScript script;
  script.Then([](QWidget* prompt) {
    // One key every 200 ms: 2.2 s in all, far past one timeout.
    for (QChar c : QStringLiteral("open sesame")) {
      QTest::qWait(200);
      if (!prompt->isVisible()) return;
      Type(prompt, QString(c));
    }
    PressKey(prompt, Qt::Key_Return);
  });
  EXPECT_NE(Verify(script), 0);
}

TEST_F(VerifyTest, BackspaceRemovesWholeCharacters) {
  // Two- and three-byte UTF-8 characters: Backspace must take all bytes.
  PasswordFile passwords("grüße€");
  ModalScript script;
  script.Then([](QWidget* prompt) {
    Type(prompt, QStringLiteral("grüßö"));
    PressKey(prompt, Qt::Key_Backspace);
    Type(prompt, QStringLiteral("e€€"));
    PressKey(prompt, Qt::Key_Backspace);
    PressKey(prompt, Qt::Key_Return);
  });
  EXPECT_NE(Verify(script), 0);
}

TEST_F(VerifyTest, PastedTextCountsAsTyped) {
  // The clipboard's line break is not part of the password.
  QGuiApplication::clipboard()->setText(QStringLiteral("open sesame\n"));
  ModalScript script;
  script.Then([](QWidget* prompt) {
    QTest::keyClick(prompt->focusWidget(), Qt::Key_V, Qt::ControlModifier);
    PressKey(prompt, Qt::Key_Return);
  });
  EXPECT_NE(Verify(script), 0);
  QGuiApplication::clipboard()->clear();
}

TEST_F(VerifyTest, PromptShowsInsideTheOwnerAndLeavesItsGrabAlone) {
  saver_.grabKeyboard();
  bool inside = false;
  QWidget* grabber_meanwhile = nullptr;
  ModalScript script;
  script.Then([&](QWidget* prompt) {
    inside = !prompt->isWindow() && prompt->window() == &saver_;
    grabber_meanwhile = QWidget::keyboardGrabber();
    // Keys as the platform delivers them under the owner's grab, to the
    // owner's window: they must reach the field.
    QWindow* window = saver_.windowHandle();
    for (char c : QByteArray("open sesame")) QTest::keyClick(window, c);
    QTest::keyClick(window, Qt::Key_Return);
  });
  EXPECT_NE(Verify(script), 0);
  EXPECT_TRUE(inside) << "the prompt is drawn inside the saver's window";
  EXPECT_EQ(grabber_meanwhile, &saver_) << "the grab never moves";
  EXPECT_EQ(QWidget::keyboardGrabber(), &saver_);
  saver_.releaseKeyboard();
}

TEST_F(VerifyTest, WorksWithoutAWidgetForTheWindow) {
  for (unsigned long window : {0UL, 0x7fffff0UL}) {
    SCOPED_TRACE(window);
    QWidget* owner = &saver_;
    ModalScript script;
    script.Then([&](QWidget* prompt) {
      owner = prompt->parentWidget();
      TypeAndEnter(prompt, "open sesame");
    });
    script.Start();
    EXPECT_NE(verify_(window), 0);
    EXPECT_EQ(owner, nullptr);
  }
}

}  // namespace
}  // namespace vz::test
