#include "particle_wnd.h"

#include <QChildEvent>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>

#include "dirty_cells.h"
#include "particle_settings.h"
#include "seed.h"
#include "tick_interval.h"
#include "x11_connection.h"
#include "x11_host.h"

namespace vz {

namespace {
QRgb ToQRgb(Colour c) { return qRgb(Red(c), Green(c), Blue(c)); }

// `r` scaled by `factor`, grown to whole pixels: between Qt's pixels and the
// device's.
QRect Scaled(const QRect& r, qreal factor) {
  return QRectF(QPointF(r.topLeft()) * factor, QSizeF(r.size()) * factor).toAlignedRect();
}
}  // namespace

CParticleWnd::CParticleWnd(bool autoDelete) : autoDelete_(autoDelete) {
  // Every pixel comes from us; Qt must not fill first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setCursor(Qt::BlankCursor);
  if (X11Connection()) {
    // A native window of its own that Qt neither buffers nor paints: ticks
    // draw on it directly.
    direct_ = true;
    setAttribute(Qt::WA_PaintOnScreen);
    setAttribute(Qt::WA_NativeWindow);
    thread_ = std::make_unique<TickThread>(field, *this);
  }
}

CParticleWnd::~CParticleWnd() {
  thread_.reset();
  AbandonTick();
  field.stopped = true;
  field.Release();
  if (foreignParent_) {
    // Our native window dies with the widget; detach first so the foreign
    // window object can go without touching the host's window.
    if (QWindow* w = windowHandle()) w->setParent(nullptr);
    delete foreignParent_.data();
  }
}

bool CParticleWnd::Create(std::uint32_t exStyle, std::uint32_t style, const QRect& rect,
                          const WindowParent& parent) {
  Qt::WindowFlags flags;
  if ((style & kStyleChild) && parent.widget) {
    // Our native window must not turn the parent's other widgets into
    // native windows as well.
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    setParent(parent.widget);
    flags = Qt::Widget;
  } else {
    flags = Qt::Window | Qt::FramelessWindowHint;
    if (exStyle & kExStyleTopmost) flags |= Qt::WindowStaysOnTopHint;
  }
  setWindowFlags(flags);
  setWindowTitle(QString());
  const qreal ratio = parent.foreign ? devicePixelRatioF() : 1.0;
  setGeometry(Scaled(rect, 1.0 / ratio));
  if (parent.foreign) deviceSize_ = rect.size();
  FollowLogicalSize();

  if (parent.foreign) {
    QWindow* host = QWindow::fromWinId(parent.foreign);
    if (!host) {
      if (autoDelete_) delete this;
      return false;
    }
    foreignParent_ = host;
    winId();  // the native window must exist before it can be reparented
    windowHandle()->setParent(host);
    // A host that is gone, or cannot take a child of ours, leaves the window
    // a top-level one: it must not show on the desktop.
    if (!X11IsChildOf(static_cast<std::uint32_t>(internalWinId()), parent.foreign)) {
      if (autoDelete_) delete this;
      return false;
    }
    SetDeviceGeometry(rect);
  }

  alive_ = true;
  if (X11Connection()) QCoreApplication::instance()->installNativeEventFilter(this);
  if (thread_) {
    // The ticks draw through the toolkit's connection, which goes with it.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
      if (thread_) thread_->Stop();
    });
  }
  LoadSettings();
  Seed(field, GetClientRect());
  RestartTimer();
  if (style & kStyleVisible) show();
  return true;
}

void CParticleWnd::LoadSettings() { LoadParticleSettings(field); }

void CParticleWnd::RestartTimer() { StartTicks(false); }

void CParticleWnd::StartTicks(bool now) {
  timer_.stop();
  if (!alive_) return;
  timerInterval_ = TickIntervalMs(field.params.delay);
  const std::chrono::milliseconds interval(timerInterval_);
  const auto first = std::chrono::steady_clock::now();
  if (thread_ && thread_->Start(interval, now ? first : first + interval)) return;
  // No thread to be had: the event loop ticks.
  thread_.reset();
  timer_.start(timerInterval_, Qt::CoarseTimer, &ticker_);
  if (now) ticks_.OnTimer(timer_.timerId(), field, *this);
}

void CParticleWnd::AbandonTick() {
  if (thread_) thread_->Abandon();
  ticks_.Abandon();
}

void CParticleWnd::InvalidateAll() {
  {
    auto hold = HoldTicks();
    AbandonTick();
  }
  reseedAll_ = true;
  update();
}

void CParticleWnd::NativeWindowGoing() {
  auto hold = HoldTicks();
  AbandonTick();
  drawWindow_ = 0;
}

void CParticleWnd::DestroyWindow() {
  if (!alive_) return;
  if (thread_) thread_->Stop();
  field.stopped = true;
  alive_ = false;
  timer_.stop();
  AbandonTick();
  OnDestroy();
  emit windowDestroyed();
  hide();
  PostNcDestroy();
}

void CParticleWnd::PostNcDestroy() { if (autoDelete_) deleteLater(); }

void CParticleWnd::closeEvent(QCloseEvent* event) {
  event->accept();
  DestroyWindow();
}

ClientRect CParticleWnd::GetClientRect() const {
  return {0, 0, deviceSize_.width(), deviceSize_.height()};
}

bool CParticleWnd::BeginDraw() {
  if (!alive_) return false;
  if (direct_) {
    // No native window yet, or for a moment after the prompt: the tick draws
    // nowhere and the window's exposure reseeds (refusing stops the field).
    if (drawWindow_ == 0) return true;
    if (!canvas_.Use(drawWindow_)) return false;  // a new window, new contexts
  } else if (pixels_.isNull()) {
    return false;
  }
  drawing_ = true;
  return true;
}

void CParticleWnd::FillSolidRect(std::int32_t x, std::int32_t y, std::int32_t w,
                                 std::int32_t h, Colour colour) {
  if (!drawing_) return;
  int x0, y0, x1, y1;
  if (!ClipToPicture(x, y, w, h, deviceSize_.width(), deviceSize_.height(), x0, y0, x1, y1)) {
    return;
  }
  const QRect r(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1));
  if (direct_) {
    canvas_.Fill(r, colour);
    return;
  }
  const QRgb rgb = ToQRgb(colour);
  for (int row = y0; row < y1; ++row) {
    auto* line = reinterpret_cast<QRgb*>(pixels_.scanLine(row));
    std::fill(line + x0, line + x1, rgb);
  }
  tickBounds_ |= r;
}

void CParticleWnd::EndDraw() {
  const bool drew = drawing_;
  drawing_ = false;
  if (direct_) {
    if (drew) canvas_.Flush();
    return;
  }
  if (tickBounds_.isEmpty()) return;
  const QRect shown = Scaled(tickBounds_, 1.0 / pixels_.devicePixelRatio());
  tickBounds_ = QRect();
  pendingTicks_ += shown;
  update(shown);
}

void CParticleWnd::SetDeviceGeometry(const QRect& rect) {
  xcb_connection_t* c = X11Connection();
  if (!direct_ || !c || !internalWinId()) {
    setGeometry(rect);
    return;
  }
  // Qt's geometry is in its own pixels and would round an odd size; the
  // server's notice of the new size brings Qt and the field up to date.
  const std::uint32_t values[] = {static_cast<std::uint32_t>(rect.x()),
                                  static_cast<std::uint32_t>(rect.y()),
                                  static_cast<std::uint32_t>(rect.width()),
                                  static_cast<std::uint32_t>(rect.height())};
  xcb_configure_window(c, static_cast<xcb_window_t>(internalWinId()),
                       XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                           XCB_CONFIG_WINDOW_HEIGHT,
                       values);
  xcb_flush(c);
}

void CParticleWnd::FollowLogicalSize() {
  // Qt's device size is its own size times the ratio, rounded; a size the
  // server reported that rounds to the same one stays, as it is exact.
  const qreal ratio = devicePixelRatioF();
  if ((QSizeF(deviceSize_) / ratio).toSize() != size()) {
    deviceSize_ = (QSizeF(size()) * ratio).toSize();
  }
}

void CParticleWnd::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  {
    auto hold = HoldTicks();
    AbandonTick();  // its drawing must not reach the new size
    FollowLogicalSize();
  }
  if (!direct_) {
    const qreal ratio = devicePixelRatioF();
    pixels_ = QImage(deviceSize_, QImage::Format_RGB32);
    pixels_.setDevicePixelRatio(ratio);
    pixels_.fill(Qt::black);
    tickBounds_ = QRect();
    pendingTicks_ = QRegion();
  }
  // A resize repaints and so restarts the whole window.
  InvalidateAll();
}

bool CParticleWnd::event(QEvent* event) {
  if (event->type() == QEvent::WinIdChange) {
    auto hold = HoldTicks();
    drawWindow_ = static_cast<std::uint32_t>(internalWinId());
  } else if (direct_ && event->type() == QEvent::ChildAdded &&
      static_cast<QChildEvent*>(event)->child()->isWidgetType()) {
    // A child widget (a prompt inside the saver) paints through Qt's buffer
    // of this window, which then flushes over the field on its repaints.
    setAttribute(Qt::WA_PaintOnScreen, false);
  } else if (direct_ && event->type() == QEvent::ChildRemoved) {
    // Once the last one has gone (a child on its way out may no longer tell
    // that it was a widget), back to drawing on the window alone.
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (alive_ && !testAttribute(Qt::WA_PaintOnScreen) &&
              findChildren<QWidget*>(Qt::FindDirectChildrenOnly).isEmpty()) {
            setAttribute(Qt::WA_PaintOnScreen, true);
            DropBuffer();
          }
        },
        Qt::QueuedConnection);
  }
  return QWidget::event(event);
}

void CParticleWnd::DropBuffer() { update(); }

QRegion CParticleWnd::RepaintedDevicePart(const QRegion& region) {
  const QRect all(QPoint(0, 0), deviceSize_);
  QRegion device;
  if (reseedAll_) {
    device = all;
  } else {
    // Qt merges a series of exposures out of its queue before we see them,
    // so its region counts as well as the exact ones we saw; scaled out to
    // whole pixels it never falls short of what was exposed.
    const qreal ratio = devicePixelRatioF();
    for (const QRect& r : region) device += Scaled(r, ratio);
    device = (device + exposed_) & all;
  }
  exposed_ = QRegion();
  reseedAll_ = false;
  return device;
}

void CParticleWnd::paintEvent(QPaintEvent* event) {
  if (!direct_) {
    PaintImage(event->region());
    return;
  }
  // Every paint here is a repaint request: black, then a new layout.
  auto hold = HoldTicks();
  AbandonTick();
  drawWindow_ = static_cast<std::uint32_t>(internalWinId());
  const QRegion device = RepaintedDevicePart(event->region());
  if (canvas_.Use(drawWindow_)) {
    canvas_.Forget();
    for (const QRect& r : device) canvas_.Fill(r, kBlack);
    canvas_.Flush();
  }
  if (!testAttribute(Qt::WA_PaintOnScreen)) {
    // Qt shows its buffer of the window after this: black there too.
    QPainter painter(this);
    for (const QRect& r : event->region()) painter.fillRect(r, Qt::black);
  }
  if (alive_) Seed(field, GetClientRect());
  if (alive_ && !exposedOnce_) {
    // The first particles as soon as the window shows, not a delay later.
    exposedOnce_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (alive_) StartTicks(true);
        },
        Qt::QueuedConnection);
  }
}

void CParticleWnd::PaintImage(const QRegion& region) {
  const QRegion requested = reseedAll_ ? region : region - pendingTicks_;
  pendingTicks_ -= region;
  if (!requested.isEmpty() && !pixels_.isNull()) {
    // A repaint request, not a tick being shown: black, then a new layout.
    AbandonTick();
    {
      QPainter clear(&pixels_);
      for (const QRect& r : requested) clear.fillRect(r, Qt::black);
    }
    reseedAll_ = false;
    if (alive_) Seed(field, GetClientRect());
  }
  if (pixels_.isNull()) return;
  QPainter painter(this);
  const qreal ratio = pixels_.devicePixelRatio();
  for (const QRect& r : region) painter.drawImage(QRectF(r), pixels_, QRectF(Scaled(r, ratio)));
}

void CParticleWnd::timerEvent(QTimerEvent* event) {
  ticks_.OnTimer(event->timerId(), field, *this);
}

bool CParticleWnd::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (!alive_ || !direct_ || eventType != "xcb_generic_event_t") return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  const WId own = internalWinId();
  switch (event->response_type & 0x7F) {
    case XCB_EXPOSE: {
      // Qt paints this window (on screen) next; we clear exactly this part.
      const auto* e = reinterpret_cast<const xcb_expose_event_t*>(event);
      if (e->window == own) exposed_ += QRect(e->x, e->y, e->width, e->height);
      break;
    }
    case XCB_CONFIGURE_NOTIFY: {
      // The exact size, which Qt's own geometry may round.
      const auto* e = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
      const QSize size(e->width, e->height);
      if (e->window == own && size != deviceSize_) {
        {
          auto hold = HoldTicks();
          deviceSize_ = size;
        }
        InvalidateAll();
      }
      break;
    }
    default:
      break;
  }
  return false;
}

}  // namespace vz
