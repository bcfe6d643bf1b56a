#include "x11_host.h"

#include <QGuiApplication>
#include <cstdlib>
// Qt headers before X11 ones.
#include <xcb/xcb.h>

namespace vz {

namespace {
xcb_connection_t* Connection() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}
}  // namespace

bool OnX11() { return Connection() != nullptr; }

std::optional<QSize> X11WindowSize(std::uint32_t window) {
  xcb_connection_t* c = Connection();
  if (!c || window == 0) return std::nullopt;
  xcb_generic_error_t* error = nullptr;
  xcb_get_geometry_reply_t* reply =
      xcb_get_geometry_reply(c, xcb_get_geometry(c, window), &error);
  std::free(error);
  if (!reply) return std::nullopt;
  const QSize size(reply->width, reply->height);
  std::free(reply);
  return size;
}

HostWindowWatcher::HostWindowWatcher(std::uint32_t host, std::function<void(QSize)> resized,
                                     std::function<void()> destroyed)
    : host_(host), resized_(std::move(resized)), destroyed_(std::move(destroyed)) {
  if (xcb_connection_t* c = Connection()) {
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, host_, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
  }
  qGuiApp->installNativeEventFilter(this);
}

HostWindowWatcher::~HostWindowWatcher() {
  if (qGuiApp) qGuiApp->removeNativeEventFilter(this);
}

bool HostWindowWatcher::nativeEventFilter(const QByteArray& eventType, void* message,
                                          qintptr*) {
  if (gone_ || eventType != "xcb_generic_event_t") return false;
  auto* event = static_cast<xcb_generic_event_t*>(message);
  switch (event->response_type & 0x7F) {
    case XCB_CONFIGURE_NOTIFY: {
      auto* e = reinterpret_cast<xcb_configure_notify_event_t*>(event);
      if (e->window == host_) resized_(QSize(e->width, e->height));
      break;
    }
    case XCB_DESTROY_NOTIFY: {
      auto* e = reinterpret_cast<xcb_destroy_notify_event_t*>(event);
      if (e->window == host_ || (child_ && e->window == child_)) {
        gone_ = true;
        destroyed_();
      }
      break;
    }
    default:
      break;
  }
  return false;
}

}  // namespace vz
