#include "caps_lock.h"

// Qt headers before X11 ones.
#include <QGuiApplication>
#include <QKeyEvent>
#include <cstdlib>
#include <optional>
#include <xcb/xcb.h>

namespace vz {
namespace {

std::optional<bool> X11CapsLock() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* c = x11 ? x11->connection() : nullptr;
  if (c == nullptr) return std::nullopt;
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  if (screen == nullptr) return std::nullopt;
  // The pointer's modifier mask is the keyboard's current state, locks included.
  xcb_query_pointer_reply_t* reply =
      xcb_query_pointer_reply(c, xcb_query_pointer(c, screen->root), nullptr);
  if (reply == nullptr) return std::nullopt;
  const bool on = (reply->mask & XCB_KEY_BUT_MASK_LOCK) != 0;
  std::free(reply);
  return on;
}

}  // namespace

bool CapsLockOn(const QKeyEvent* key, bool previous) {
  if (const std::optional<bool> x11 = X11CapsLock()) return *x11;
  if (key == nullptr || key->type() != QEvent::KeyPress || key->text().size() != 1) {
    return previous;
  }
  const QChar c = key->text().at(0);
  if (c.toUpper() == c.toLower()) return previous;
  const bool shift = key->modifiers().testFlag(Qt::ShiftModifier);
  return c.isUpper() != shift;
}

}  // namespace vz
