#pragma once

#include <QAbstractNativeEventFilter>
#include <QBasicTimer>
#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <QWindow>

#include "dirty_cells.h"
#include "draw_surface.h"
#include "particle_field.h"
#include "sliced_tick.h"
#include "window_styles.h"

namespace vz {

// A window that owns one particle field and animates it on a timer. It keeps
// an image of its own pixels: ticks paint squares into it and schedule only
// those squares for display; every other repaint clears to black and reseeds.
// A tick runs in pieces with the event loop running in between, so however
// many particles there are the window still answers input, repaints and
// close requests; any repaint request drops a tick in progress.
class CParticleWnd : public QWidget, public DrawSurface, public QAbstractNativeEventFilter {
  Q_OBJECT

 public:
  explicit CParticleWnd(bool autoDelete);
  ~CParticleWnd() override;

  // Creates the window: loads the settings, seeds and starts the timer.
  // When it fails and autoDelete is on, the object is gone on return.
  virtual bool Create(std::uint32_t exStyle, std::uint32_t style, const QRect& rect,
                      const WindowParent& parent);
  // Stops the animation for good and destroys the window.
  virtual void DestroyWindow();
  // Kills the timer and starts it again with the current delay.
  void RestartTimer();
  // Invalidates the whole window: it is cleared to black and reseeded.
  void InvalidateAll();

  // The timer interval for a stored delay: its 32 bits as unsigned
  // milliseconds, at least 10 (never a busy loop) and at most what a timer
  // can hold.
  static int TimerIntervalMs(std::int32_t delay);

  bool IsAlive() const { return alive_; }
  bool AutoDelete() const { return autoDelete_; }
  int CurrentIntervalMs() const { return timerInterval_; }
  const QImage& Pixels() const { return pixels_; }

  // DrawSurface
  ClientRect GetClientRect() const override;
  bool BeginDraw() override;
  void EndDraw() override;
  void FillSolidRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                     Colour colour) override;

  // Exposures and a map after an unmap on X11 are repaint requests.
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

  ParticleField field;

 signals:
  // Emitted once when the window is destroyed, before the object may go.
  void windowDestroyed();

 protected:
  // Reads the stored settings with the particle window's defaults.
  virtual void LoadSettings();
  // Called while the window is being destroyed, after `stopped` is set.
  virtual void OnDestroy() {}
  // Runs last; deletes the object when autoDelete is on.
  virtual void PostNcDestroy();

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QRegion TakeDirtyRegion();
  void AbandonTick() { ticks_.Abandon(); }
  // The X window our pixels sit in and where we lie inside it.
  WId NativeHost(QPoint& offset) const;

  SlicedTick ticks_{this};
  // Parts of the window the window system reported as exposed and not yet
  // repainted.
  QRegion exposed_;
  bool unmapped_ = false;

  bool autoDelete_;
  bool alive_ = false;
  bool reseedAll_ = false;
  bool drawing_ = false;
  QBasicTimer timer_;
  int timerInterval_ = 0;
  QImage pixels_;
  // Squares painted by ticks and scheduled, but not yet shown.
  QRegion pendingTicks_;
  // Where the current tick has painted.
  DirtyCells dirty_;
  QPointer<QWindow> foreignParent_;
};

}  // namespace vz
