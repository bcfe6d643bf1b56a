#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <climits>

#include "../store_fixture.h"
#include "particle_wnd.h"
#include "tick_interval.h"
#include "random.h"
#include "settings_store.h"
#include "step.h"

namespace vz {
namespace {

class ParticleWndTest : public StoreFixture {
 protected:
  // A shown, created window that has had its first paint.
  void Open(CParticleWnd& w, QSize size = {120, 90}) {
    ASSERT_TRUE(w.Create(0, kStylePopup | kStyleVisible, QRect(QPoint(0, 0), size), {}));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QApplication::processEvents();
  }

  static QRgb Rgb(Colour c) { return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

  // Pixels that are not black.
  static int Lit(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) != 0;
    return n;
  }
};

TEST_F(ParticleWndTest, TimerIntervalIsTheUnsignedDelayWithAFloor) {
  EXPECT_EQ(TickIntervalMs(0), 10);
  EXPECT_EQ(TickIntervalMs(1), 10);
  EXPECT_EQ(TickIntervalMs(10), 10);
  EXPECT_EQ(TickIntervalMs(50), 50);
  EXPECT_EQ(TickIntervalMs(INT_MAX), INT_MAX);
  EXPECT_EQ(TickIntervalMs(-1), INT_MAX) << "a negative delay ticks very rarely";
}

TEST_F(ParticleWndTest, CreateLoadsTheStoreAndStartsTheTimer) {
  Store({{"NumParticles", 7}, {"DelayTime", 30}, {"Planet", 2}, {"GravityVal", -1}});
  CParticleWnd w(false);
  Open(w);
  EXPECT_EQ(w.field.count, 7);
  EXPECT_EQ(w.field.arraySize, 7);
  EXPECT_EQ(w.field.params.planet, 0);
  EXPECT_EQ(w.field.params.gravity, 4294967295.0 * 0.1);
  EXPECT_EQ(w.field.params.borders, 1) << "defaults for what is not stored";
  EXPECT_EQ(w.CurrentIntervalMs(), 30);
  w.field.params.delay = 0;
  w.RestartTimer();
  EXPECT_EQ(w.CurrentIntervalMs(), 10);
}

TEST_F(ParticleWndTest, TickPaintsSquaresWhereTheFieldSaysAndShowingThemKeepsTheLayout) {
  Store({{"NumParticles", 100}, {"DelayTime", -1}});
  CParticleWnd w(false);
  Open(w, {400, 300});
  EXPECT_EQ(Lit(w.Pixels()), 0) << "the first paint is black";
  for (int t = 0; t < 6; ++t) {
    Step(w.field, w);
    QApplication::processEvents();  // shows the tick's squares
  }
  // Showing ticks never reseeds: a reseed would zero every velocity.
  int moving = 0;
  for (int i = 0; i < 100; ++i) moving += w.field.particles[i].vx != 0.0;
  EXPECT_GT(moving, 90);
  // The last particle is drawn last, so its square is intact.
  const Particle& q = w.field.particles[99];
  const int x = static_cast<int>(q.x), y = static_cast<int>(q.y);
  EXPECT_EQ(w.Pixels().pixel(x, y), Rgb(w.field.colours[99]));
  EXPECT_EQ(w.Pixels().pixel(x + 3, y + 3), Rgb(w.field.colours[99]));
  EXPECT_LE(Lit(w.Pixels()), 100 * 16) << "erased squares went back to black";
  EXPECT_GT(Lit(w.Pixels()), 50 * 16);
  const QImage shown = w.screen()->grabWindow(w.winId()).toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(shown, w.Pixels()) << "the screen shows exactly the image";
}

TEST_F(ParticleWndTest, WithoutShowAllParticleOneLeavesATrail) {
  Store({{"NumParticles", 3}, {"ShowAll", 0}, {"Borders", 0}, {"DelayTime", -1}});
  CParticleWnd w(false);
  Open(w);
  for (int t = 0; t < 40; ++t) Step(w.field, w);
  QApplication::processEvents();
  const QImage& img = w.Pixels();
  for (int y = 0; y < img.height(); ++y) {
    for (int x = 0; x < img.width(); ++x) {
      if ((img.pixel(x, y) & 0xFFFFFF) != 0) {
        EXPECT_EQ(img.pixel(x, y), Rgb(w.field.colours[1]));
      }
    }
  }
  EXPECT_GT(Lit(img), 16) << "several squares of one particle accumulate";
}

TEST_F(ParticleWndTest, RepaintRequestClearsAndReseeds) {
  Store({{"NumParticles", 6}, {"DelayTime", -1}});
  CParticleWnd w(false);
  Open(w);
  const double seededX = w.field.particles[2].x;
  for (int t = 0; t < 5; ++t) Step(w.field, w);
  QApplication::processEvents();
  ASSERT_GT(Lit(w.Pixels()), 0);
  ASSERT_NE(w.field.particles[2].vx, 0.0);
  w.InvalidateAll();
  QApplication::processEvents();
  EXPECT_EQ(Lit(w.Pixels()), 0);
  EXPECT_EQ(w.field.particles[2].vx, 0.0);
  EXPECT_EQ(w.field.particles[2].x, seededX) << "same second, same layout";
}

TEST_F(ParticleWndTest, CountChangeBeforeTheRepaintNeverOverrunsTheArrays) {
  Store({{"NumParticles", 4}, {"DelayTime", -1}});
  CParticleWnd w(false);
  Open(w);
  w.field.count = 300;
  Step(w.field, w);  // still over the four particles built
  EXPECT_EQ(w.field.arraySize, 4);
  w.InvalidateAll();
  QApplication::processEvents();
  EXPECT_EQ(w.field.arraySize, 300);
}

TEST_F(ParticleWndTest, ResizeRestartsOnANewImage) {
  Store({{"DelayTime", -1}});
  CParticleWnd w(false);
  Open(w);
  Step(w.field, w);
  w.resize(200, 150);
  QApplication::processEvents();
  EXPECT_EQ(w.Pixels().size(), QSize(200, 150));
  EXPECT_EQ(Lit(w.Pixels()), 0);
  EXPECT_EQ(w.field.particles[0].vx, 0.0);
}

TEST_F(ParticleWndTest, DestroyStopsQueuedTicksAndDeletesAnAutoDeleteObject) {
  Store({{"DelayTime", 0}});
  QPointer<CParticleWnd> w = new CParticleWnd(true);
  Open(*w);
  bool signalled = false;
  QObject::connect(w, &CParticleWnd::windowDestroyed, [&] { signalled = true; });
  QTest::qWait(30);  // ticks run at the 10 ms floor
  const QImage before = w->Pixels();
  w->DestroyWindow();
  EXPECT_TRUE(signalled);
  EXPECT_TRUE(w->field.stopped);
  QTimerEvent tick(0);
  QApplication::sendEvent(w, &tick);
  EXPECT_EQ(w->Pixels(), before) << "a tick after destruction draws nothing";
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(w.isNull());
}

TEST_F(ParticleWndTest, CloseRequestDestroysTheWindow) {
  CParticleWnd w(false);
  Open(w);
  w.close();
  EXPECT_FALSE(w.IsAlive());
  EXPECT_TRUE(w.field.stopped);
}

TEST_F(ParticleWndTest, EmptyClientAreaStopsTheAnimationForGood) {
  CParticleWnd w(false);
  ASSERT_TRUE(w.Create(0, kStylePopup, QRect(0, 0, 0, 0), {}));
  Step(w.field, w);
  EXPECT_TRUE(w.field.stopped);
}

// On X11 (run under Xvfb) ticks draw straight on the native window, and the
// first may come before the window exists.
TEST_F(ParticleWndTest, TicksBeforeTheNativeWindowExistsLeaveTheFieldRunning) {
  if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server";
  Store({{"NumParticles", 40}, {"DelayTime", -1}});
  CParticleWnd w(false);
  ASSERT_TRUE(w.Create(0, kStylePopup, QRect(0, 0, 120, 90), {}));
  Step(w.field, w);
  EXPECT_FALSE(w.field.stopped);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  QApplication::processEvents();
  Step(w.field, w);
  EXPECT_FALSE(w.field.stopped);
  QTRY_VERIFY(Lit(w.screen()->grabWindow(w.winId()).toImage()) > 0);
}

TEST_F(ParticleWndTest, PointerIsInvisible) {
  CParticleWnd w(false);
  Open(w);
  EXPECT_EQ(w.cursor().shape(), Qt::BlankCursor);
}

}  // namespace
}  // namespace vz

int main(int argc, char** argv) {
  // Test discovery runs this without the test environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QCoreApplication::setOrganizationName("Quenfold");
  QCoreApplication::setApplicationName("particle_wnd_test");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
