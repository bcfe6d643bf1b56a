#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QSpontaneKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "saver_wnd.h"

namespace vz {
namespace {

// Counts the close requests that reach the handler; keeps the window open
// unless told to close it.
class CountingSaver : public CSaverWnd {
 public:
  int requests = 0;
  bool closes = false;

 protected:
  void OnCloseRequest() override {
    ++requests;
    if (closes) CSaverWnd::OnCloseRequest();
  }
};

class SaverWndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path()));
  }

  void TearDown() override {
    for (const QPointer<CSaverWnd>& w : windows_) {
      if (w) w->DestroyWindow();
    }
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // A full-screen saver, shown, active, with its posted work done.
  template <typename T = CountingSaver>
  T* Open() {
    auto* w = new T;
    windows_.push_back(w);
    EXPECT_TRUE(w->CreateFullScreen());
    EXPECT_TRUE(QTest::qWaitForWindowActive(w));
    QApplication::processEvents();
    return w;
  }

  // Requests that reached the handler once the queue has been worked off.
  static int Handled(CountingSaver* w) {
    QApplication::processEvents();
    return w->requests;
  }

  static void Key(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
                  QEvent::Type type = QEvent::KeyPress) {
    QKeyEvent e(type, key, mods);
    QApplication::sendEvent(w, &e);
  }

  static void Button(QWidget* w, Qt::MouseButton b,
                     QEvent::Type type = QEvent::MouseButtonPress) {
    QMouseEvent e(type, QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), b, b, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  }

  static void Move(QWidget* w, int x, int y) {
    const QPointF p(x, y);
    QMouseEvent e(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  }

  QTemporaryDir dir_;
  std::vector<QPointer<CSaverWnd>> windows_;
};

TEST_F(SaverWndTest, CoversThePrimaryScreenAboveEverythingWithoutAPointer) {
  auto* w = Open<CSaverWnd>();
  EXPECT_EQ(w->geometry(), QGuiApplication::primaryScreen()->geometry());
  const Qt::WindowFlags f = w->windowFlags();
  EXPECT_TRUE(f & Qt::FramelessWindowHint);
  EXPECT_TRUE(f & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(f & Qt::X11BypassWindowManagerHint);
  EXPECT_TRUE(w->isVisible());
  EXPECT_TRUE(w->AutoDelete());
  EXPECT_TRUE(w->hasMouseTracking()) << "moves must arrive without a button held";
  EXPECT_EQ(w->cursor().shape(), Qt::BlankCursor);
  EXPECT_EQ(w->lastMouseX, -1);
  EXPECT_EQ(w->lastMouseY, -1);
  EXPECT_FALSE(w->verifying);
  EXPECT_EQ(w->Pixels().size(), w->size()) << "the field fills the screen";
}

TEST_F(SaverWndTest, EveryKeyAndTheThreeMainButtonsPostOneRequestEach) {
  auto* w = Open();
  Key(w, Qt::Key_A);
  EXPECT_EQ(w->requests, 0) << "posted, not handled at once";
  EXPECT_EQ(Handled(w), 1);
  Key(w, Qt::Key_F4, Qt::AltModifier);  // what Windows calls a system key
  Key(w, Qt::Key_Alt, Qt::AltModifier);
  Key(w, Qt::Key_Tab);  // not taken for focus changes
  EXPECT_EQ(Handled(w), 4);
  Key(w, Qt::Key_A, Qt::NoModifier, QEvent::KeyRelease);
  EXPECT_EQ(Handled(w), 4) << "releases do nothing";

  Button(w, Qt::LeftButton);
  Button(w, Qt::MiddleButton);
  Button(w, Qt::RightButton);
  EXPECT_EQ(Handled(w), 7);
  Button(w, Qt::LeftButton, QEvent::MouseButtonDblClick);
  EXPECT_EQ(Handled(w), 8) << "a quick second click is a click too";
  Button(w, Qt::BackButton);
  Button(w, Qt::LeftButton, QEvent::MouseButtonRelease);
  EXPECT_EQ(Handled(w), 8) << "other buttons and releases do nothing";
  EXPECT_TRUE(w->IsAlive());
}

TEST_F(SaverWndTest, OnlyMovesAwayFromTheFirstPositionCount) {
  auto* w = Open();
  Move(w, 10, 20);
  EXPECT_EQ(Handled(w), 0) << "the first move only records";
  EXPECT_EQ(w->lastMouseX, 10);
  EXPECT_EQ(w->lastMouseY, 20);
  Move(w, 10, 20);
  EXPECT_EQ(Handled(w), 0);
  Move(w, 11, 20);
  EXPECT_EQ(Handled(w), 1) << "one pixel off in x";
  Move(w, 10, 19);
  EXPECT_EQ(Handled(w), 2) << "one pixel off in y";
  Move(w, 300, 200);
  EXPECT_EQ(Handled(w), 3);
  Move(w, 10, 20);
  EXPECT_EQ(Handled(w), 3) << "back at the first position: compared with it, not the last";
  EXPECT_EQ(w->lastMouseX, 10);
  EXPECT_EQ(w->lastMouseY, 20);
}

TEST_F(SaverWndTest, LosingActivationPostsARequest) {
  auto* w = Open();
  ASSERT_EQ(QApplication::activeWindow(), w);
  QWidget other;
  other.resize(50, 50);
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  EXPECT_EQ(Handled(w), 1) << "another window of ours took the focus";
  ASSERT_EQ(QGuiApplication::applicationState(), Qt::ApplicationActive);

  // The offscreen platform never deactivates the application itself, so
  // announce it as a platform would.
  emit qGuiApp->applicationStateChanged(Qt::ApplicationActive);
  EXPECT_EQ(Handled(w), 1);
  emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
  EXPECT_EQ(Handled(w), 2) << "the application lost activation";
  emit qGuiApp->applicationStateChanged(Qt::ApplicationHidden);
  EXPECT_EQ(Handled(w), 3);
}

TEST_F(SaverWndTest, WindowManagerCloseIsIgnoredOwnRequestsAreHandled) {
  auto* w = Open();
  QCloseEvent wm;
  QSpontaneKeyEvent::setSpontaneous(&wm);
  QApplication::instance()->notify(w, &wm);
  EXPECT_FALSE(wm.isAccepted());
  EXPECT_EQ(Handled(w), 0);
  EXPECT_TRUE(w->IsAlive());
  EXPECT_TRUE(w->isVisible());

  EXPECT_FALSE(w->close()) << "a close of our own reaches the handler, which kept the window";
  EXPECT_EQ(Handled(w), 1);
  EXPECT_TRUE(w->isVisible());
}

TEST_F(SaverWndTest, RequestsQueuedBehindTheOneThatClosesAreDropped) {
  auto* w = Open();
  w->closes = true;
  int destroyed = 0;
  QObject::connect(w, &CParticleWnd::windowDestroyed, [&] { ++destroyed; });
  QPointer<CountingSaver> guard(w);
  Key(w, Qt::Key_Space);
  Button(w, Qt::LeftButton);
  Move(w, 1, 1);
  Move(w, 2, 2);
  // Handle the three queued requests but keep the deferred delete for later.
  QApplication::sendPostedEvents(w, QEvent::Close);
  EXPECT_EQ(w->requests, 1) << "a destroyed window takes no more requests";
  EXPECT_FALSE(w->IsAlive());
  EXPECT_EQ(destroyed, 1);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(guard.isNull()) << "the saver deletes itself";
}

TEST_F(SaverWndTest, AKeyEndsTheEventLoopWithCodeZero) {
  QPointer<CSaverWnd> w = Open<CSaverWnd>();
  QTimer::singleShot(0, [&] { Key(w, Qt::Key_Q); });
  QTimer safety;
  safety.setSingleShot(true);
  QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(7); });
  safety.start(5000);
  EXPECT_EQ(QCoreApplication::exec(), 0);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(w.isNull());
}

}  // namespace
}  // namespace vz

int main(int argc, char** argv) {
  // Written for the offscreen platform, also when test discovery runs it.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QCoreApplication::setOrganizationName("Quenfold");
  QCoreApplication::setApplicationName("saver_wnd_test");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
