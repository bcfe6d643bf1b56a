#pragma once

#include <QAbstractNativeEventFilter>
#include <QBasicTimer>
#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <QWindow>
#include <memory>
#include <mutex>

#include "draw_surface.h"
#include "particle_field.h"
#include "sliced_tick.h"
#include "tick_thread.h"
#include "window_styles.h"
#include "x11_canvas.h"

namespace vz {

// A window that owns one particle field and animates it. On X11 ticks run
// on a thread of their own and fill their squares straight on the native
// window, which Qt does not paint: one wake-up a tick, and the event loop
// free for input and the prompt. Every repaint request clears the repainted
// part to black and reseeds. Without an X display (the offscreen platform)
// the window ticks on a timer and keeps an image of its pixels instead,
// shown through Qt. Positions and squares are in device pixels. A tick runs
// in pieces, so however many particles there are the window still answers
// input, repaints and close requests; any repaint request drops a tick in
// progress.
class CParticleWnd : public QWidget, public DrawSurface, public QAbstractNativeEventFilter {
  Q_OBJECT

 public:
  explicit CParticleWnd(bool autoDelete);
  ~CParticleWnd() override;

  // Creates the window: loads the settings, seeds and starts the timer.
  // Inside a foreign window `rect` is in that window's device pixels.
  // When it fails and autoDelete is on, the object is gone on return.
  virtual bool Create(std::uint32_t exStyle, std::uint32_t style, const QRect& rect,
                      const WindowParent& parent);
  // Stops the animation for good and destroys the window.
  virtual void DestroyWindow();
  // Kills the timer and starts it again with the current delay.
  void RestartTimer();
  // Changes `field` from outside, with the ticks kept away meanwhile.
  template <class Change>
  void ChangeField(Change&& change) {
    auto hold = HoldTicks();
    change(field);
  }
  // Invalidates the whole window: it is cleared to black and reseeded.
  void InvalidateAll();

  bool IsAlive() const { return alive_; }
  bool AutoDelete() const { return autoDelete_; }
  int CurrentIntervalMs() const { return timerInterval_; }
  // What ticks and repaints drew; kept only without an X display.
  const QImage& Pixels() const { return pixels_; }
  // The window's size in device pixels, the field's client area.
  QSize DeviceSize() const { return deviceSize_; }
  // Places the window at `rect` in its native parent's device pixels, exactly
  // (a host's client area, whatever the scale factor).
  void SetDeviceGeometry(const QRect& rect);

  // DrawSurface
  ClientRect GetClientRect() const override;
  bool BeginDraw() override;
  void EndDraw() override;
  void FillSolidRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                     Colour colour) override;

  // Exposures and a map after an unmap on X11 are repaint requests.
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
  // Null: on X11 we draw on the window ourselves.
  QPaintEngine* paintEngine() const override { return nullptr; }

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
  // Back to drawing on the window alone after the last child widget went:
  // lets go of what Qt buffered for the children (a window made anew loses
  // the full-size image).
  virtual void DropBuffer();
  // The native window is about to be destroyed: nothing more is drawn on it.
  void NativeWindowGoing();

  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Brings the device size in line with Qt's size after a change.
  void FollowLogicalSize();
  // The part of a paint event's region to clear, in device pixels.
  QRegion RepaintedDevicePart(const QRegion& region);
  void PaintImage(const QRegion& region);
  // Keeps the ticks away from the field and the canvas until it goes.
  [[nodiscard]] std::unique_lock<std::mutex> HoldTicks() {
    return thread_ ? thread_->Hold() : std::unique_lock<std::mutex>();
  }
  // Drops the tick in progress; with the thread, only while held.
  void AbandonTick();
  // Starts the ticks with the current delay, the first one now or a delay
  // from now.
  void StartTicks(bool now);

  // Receives the tick timers: a plain object, so that a tick does not go
  // through everything Qt does for an event to a widget.
  class Ticker : public QObject {
   public:
    explicit Ticker(CParticleWnd* w) : w_(w) {}

   protected:
    void timerEvent(QTimerEvent* event) override { w_->timerEvent(event); }

   private:
    CParticleWnd* w_;
  };
  Ticker ticker_{this};
  SlicedTick ticks_{&ticker_};
  // Parts of the window the X server reported as exposed and not yet
  // repainted, in device pixels.
  QRegion exposed_;
  // Drawing straight on the X window (else on pixels_).
  X11Canvas canvas_;
  bool direct_ = false;
  // The window ticks draw on, set while held (none while it is replaced).
  std::uint32_t drawWindow_ = 0;
  // Runs the ticks when drawing directly; the timer otherwise.
  std::unique_ptr<TickThread> thread_;
  QSize deviceSize_;

  bool autoDelete_;
  bool alive_ = false;
  bool reseedAll_ = false;
  bool drawing_ = false;
  bool exposedOnce_ = false;
  QBasicTimer timer_;
  int timerInterval_ = 0;
  QImage pixels_;
  // What the tick in progress painted into pixels_, in device pixels.
  QRect tickBounds_;
  // Squares painted by ticks and scheduled, but not yet shown.
  QRegion pendingTicks_;
  QPointer<QWindow> foreignParent_;
};

}  // namespace vz
