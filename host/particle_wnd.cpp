#include "particle_wnd.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <climits>

#include "particle_settings.h"
#include "seed.h"
#include "step.h"
#include "x11_connection.h"

namespace vz {

namespace {
QRgb ToQRgb(Colour c) { return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
}  // namespace

CParticleWnd::CParticleWnd(bool autoDelete) : autoDelete_(autoDelete) {
  // Everything on screen comes from our own image; Qt must not fill first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setCursor(Qt::BlankCursor);
}

CParticleWnd::~CParticleWnd() {
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

int CParticleWnd::TimerIntervalMs(std::int32_t delay) {
  const auto ms = static_cast<std::uint32_t>(delay);
  if (ms < 10) return 10;
  if (ms > static_cast<std::uint32_t>(INT_MAX)) return INT_MAX;
  return static_cast<int>(ms);
}

bool CParticleWnd::Create(std::uint32_t exStyle, std::uint32_t style, const QRect& rect,
                          const WindowParent& parent) {
  Qt::WindowFlags flags;
  if ((style & kStyleChild) && parent.widget) {
    setParent(parent.widget);
    flags = Qt::Widget;
  } else {
    flags = Qt::Window | Qt::FramelessWindowHint;
    if (exStyle & kExStyleTopmost) flags |= Qt::WindowStaysOnTopHint;
  }
  setWindowFlags(flags);
  setWindowTitle(QString());
  setGeometry(rect);

  if (parent.foreign) {
    QWindow* host = QWindow::fromWinId(parent.foreign);
    if (!host) {
      if (autoDelete_) delete this;
      return false;
    }
    foreignParent_ = host;
    winId();  // the native window must exist before it can be reparented
    windowHandle()->setParent(host);
    windowHandle()->setGeometry(rect);
  }

  alive_ = true;
  if (X11Connection()) QCoreApplication::instance()->installNativeEventFilter(this);
  LoadSettings();
  Seed(field, GetClientRect());
  RestartTimer();
  if (style & kStyleVisible) show();
  return true;
}

void CParticleWnd::LoadSettings() { LoadParticleSettings(field); }

void CParticleWnd::RestartTimer() {
  timer_.stop();
  if (!alive_) return;
  timerInterval_ = TimerIntervalMs(field.params.delay);
  timer_.start(timerInterval_, Qt::CoarseTimer, this);
}

void CParticleWnd::InvalidateAll() {
  AbandonTick();
  reseedAll_ = true;
  update();
}

void CParticleWnd::DestroyWindow() {
  if (!alive_) return;
  field.stopped = true;
  alive_ = false;
  timer_.stop();
  AbandonTick();
  OnDestroy();
  emit windowDestroyed();
  hide();
  PostNcDestroy();
}

void CParticleWnd::PostNcDestroy() {
  if (autoDelete_) deleteLater();
}

void CParticleWnd::closeEvent(QCloseEvent* event) {
  event->accept();
  DestroyWindow();
}

ClientRect CParticleWnd::GetClientRect() const { return {0, 0, width(), height()}; }

bool CParticleWnd::BeginDraw() {
  if (!alive_ || pixels_.isNull()) return false;
  drawing_ = true;
  return true;
}

void CParticleWnd::FillSolidRect(std::int32_t x, std::int32_t y, std::int32_t w,
                                 std::int32_t h, Colour colour) {
  if (!drawing_) return;
  int x0, y0, x1, y1;
  if (!ClipToPicture(x, y, w, h, pixels_.width(), pixels_.height(), x0, y0, x1, y1)) return;
  const QRgb rgb = ToQRgb(colour);
  for (int row = y0; row < y1; ++row) {
    auto* line = reinterpret_cast<QRgb*>(pixels_.scanLine(row));
    std::fill(line + x0, line + x1, rgb);
  }
  dirty_.Mark(x0, y0, x1, y1);
}

void CParticleWnd::EndDraw() {
  drawing_ = false;
  const QRegion dirty = TakeDirtyRegion();
  if (dirty.isEmpty()) return;
  pendingTicks_ += dirty;
  update(dirty);
}

// One region per tick, built as y-x sorted bands so Qt can take it without
// merging rectangle by rectangle.
QRegion CParticleWnd::TakeDirtyRegion() {
  QRegion region;
  if (dirty_.Empty()) return region;
  std::vector<QRect> rects;
  dirty_.Take([&rects](int x, int y, int w, int h) { rects.emplace_back(x, y, w, h); });
  region.setRects(rects.data(), static_cast<int>(rects.size()));
  return region;
}

void CParticleWnd::resizeEvent(QResizeEvent* event) {
  AbandonTick();  // its drawing must not reach the new image
  QWidget::resizeEvent(event);
  pixels_ = QImage(size(), QImage::Format_RGB32);
  pixels_.fill(Qt::black);
  dirty_.Reset(width(), height());
  pendingTicks_ = QRegion();
  // A resize repaints and so restarts the whole window.
  InvalidateAll();
}

void CParticleWnd::paintEvent(QPaintEvent* event) {
  const QRegion region = event->region();
  const QRegion requested =
      reseedAll_ ? region : (region - pendingTicks_) + (region & exposed_);
  pendingTicks_ -= region;
  exposed_ -= region;
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
  for (const QRect& r : region) painter.drawImage(r.topLeft(), pixels_, r);
}

void CParticleWnd::timerEvent(QTimerEvent* event) {
  ticks_.OnTimer(event->timerId(), field, *this);
}

WId CParticleWnd::NativeHost(QPoint& offset) const {
  offset = QPoint();
  if (WId own = internalWinId()) return own;
  const QWidget* host = nativeParentWidget();
  if (!host) return 0;
  offset = mapTo(host, QPoint());
  return host->internalWinId();
}

bool CParticleWnd::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (!alive_ || eventType != "xcb_generic_event_t") return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  QPoint offset;
  switch (event->response_type & 0x7F) {
    case XCB_EXPOSE: {
      const auto* e = reinterpret_cast<const xcb_expose_event_t*>(event);
      if (e->window != NativeHost(offset)) break;
      // Qt would show its copy of the pixels; this is a repaint request.
      const qreal ratio = devicePixelRatioF();
      const QRect exposed =
          QRectF(e->x / ratio, e->y / ratio, e->width / ratio, e->height / ratio)
              .toAlignedRect()
              .translated(-offset) &
          rect();
      if (exposed.isEmpty()) break;
      exposed_ += exposed;
      update(exposed);
      break;
    }
    case XCB_UNMAP_NOTIFY: {
      const auto* e = reinterpret_cast<const xcb_unmap_notify_event_t*>(event);
      if (e->window == NativeHost(offset)) unmapped_ = true;
      break;
    }
    case XCB_MAP_NOTIFY: {
      const auto* e = reinterpret_cast<const xcb_map_notify_event_t*>(event);
      if (e->window == NativeHost(offset) && unmapped_) {
        unmapped_ = false;
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
