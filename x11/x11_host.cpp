#include "x11_host.h"

#include <cstdlib>
#include <cstring>

#include "x11_connection.h"

namespace vz {

xcb_atom_t X11Atom(xcb_connection_t* c, const char* name, bool onlyIfExists) {
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, onlyIfExists, static_cast<std::uint16_t>(std::strlen(name)), name),
      nullptr);
  const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  return atom;
}

xcb_connection_t* X11Connection() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}

bool OnX11() { return X11Connection() != nullptr; }

bool X11ConnectionBroken() {
  xcb_connection_t* c = X11Connection();
  return c && xcb_connection_has_error(c) != 0;
}

std::optional<X11Placement> X11WindowPlacement(std::uint32_t window) {
  xcb_connection_t* c = X11Connection();
  if (!c || window == 0) return std::nullopt;
  const auto geometryCookie = xcb_get_geometry(c, window);
  const auto attributesCookie = xcb_get_window_attributes(c, window);
  xcb_generic_error_t* error = nullptr;
  xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(c, geometryCookie, &error);
  std::free(error);
  error = nullptr;
  // Only a window has attributes: the geometry alone answers for a pixmap too.
  xcb_get_window_attributes_reply_t* attributes =
      xcb_get_window_attributes_reply(c, attributesCookie, &error);
  std::free(error);
  std::optional<X11Placement> placement;
  if (geometry && attributes) {
    // The geometry is relative to the parent; the owner may sit inside a
    // window manager's frame, so ask where its origin lies on the root.
    error = nullptr;
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, window, geometry->root, 0, 0), &error);
    std::free(error);
    if (origin) {
      placement = X11Placement{QRect(origin->dst_x, origin->dst_y, geometry->width,
                                     geometry->height),
                               attributes->map_state == XCB_MAP_STATE_VIEWABLE};
      std::free(origin);
    }
  }
  std::free(geometry);
  std::free(attributes);
  return placement;
}

std::optional<QSize> X11WindowSize(std::uint32_t window) {
  const std::optional<X11Placement> placement = X11WindowPlacement(window);
  return placement ? std::optional(placement->rect.size()) : std::nullopt;
}

std::optional<QSize> PreparePreviewHost(std::uint32_t host, std::string& why) {
  xcb_connection_t* c = X11Connection();
  if (!c || host == 0) {
    why = !c ? "the preview needs an X11 display" : "no host window was given";
    return std::nullopt;
  }
  const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  xcb_generic_error_t* error =
      xcb_request_check(c, xcb_change_window_attributes_checked(c, host, XCB_CW_EVENT_MASK, &mask));
  const auto attributesCookie = xcb_get_window_attributes(c, host);
  const auto geometryCookie = xcb_get_geometry(c, host);
  xcb_get_window_attributes_reply_t* attributes =
      xcb_get_window_attributes_reply(c, attributesCookie, nullptr);
  xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(c, geometryCookie, nullptr);
  std::optional<QSize> size;
  // Our windows are made on the display's default screen.
  char* server = nullptr;
  int display = 0, screen = 0;
  if (xcb_parse_display(nullptr, &server, &display, &screen) != 0) std::free(server);
  xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (; screen > 0 && roots.rem > 1; --screen) xcb_screen_next(&roots);
  if (error || !attributes || !geometry) {
    why = "it does not exist";
  } else if (attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT) {
    why = "it is an InputOnly window, which cannot show anything";
  } else if (!roots.data || geometry->root != roots.data->root) {
    why = "it is on another X screen than the one the preview is made on";
  } else {
    size = QSize(geometry->width, geometry->height);
  }
  std::free(error);
  std::free(attributes);
  std::free(geometry);
  return size;
}

bool X11IsChildOf(std::uint32_t window, std::uint32_t parent) {
  xcb_connection_t* c = X11Connection();
  if (!c) return false;
  xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
  const bool child = tree && tree->parent == parent;
  std::free(tree);
  return child;
}

namespace {
bool HasProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property) {
  if (property == XCB_ATOM_NONE) return false;
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      c, xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr);
  const bool has = reply && reply->type != XCB_ATOM_NONE;
  std::free(reply);
  return has;
}
}  // namespace

std::uint32_t X11TopLevel(std::uint32_t window) {
  xcb_connection_t* c = X11Connection();
  if (!c || window == 0) return 0;
  const xcb_atom_t wmState = X11Atom(c, "WM_STATE", true);
  // Bounded: a tree deeper than this is not one a host builds.
  for (int depth = 0; depth < 64; ++depth) {
    xcb_generic_error_t* error = nullptr;
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(c, xcb_query_tree(c, window), &error);
    std::free(error);
    if (!tree) return 0;
    const xcb_window_t root = tree->root;
    const xcb_window_t parent = tree->parent;
    std::free(tree);
    if (window == root) return 0;
    if (parent == root || HasProperty(c, window, wmState)) return window;
    window = parent;
  }
  return 0;
}

std::uint32_t X11ActiveWindow() {
  xcb_connection_t* c = X11Connection();
  if (!c) return 0;
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  const xcb_atom_t active = X11Atom(c, "_NET_ACTIVE_WINDOW", true);
  if (!screen || active == XCB_ATOM_NONE) return 0;
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      c, xcb_get_property(c, 0, screen->root, active, XCB_GET_PROPERTY_TYPE_ANY, 0, 1), nullptr);
  std::uint32_t window = 0;
  if (reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 4) {
    std::memcpy(&window, xcb_get_property_value(reply), 4);
  }
  std::free(reply);
  return window != 0 && X11WindowSize(window) ? window : 0;
}

HostWindowWatcher::HostWindowWatcher(std::uint32_t host, std::function<void(QSize)> resized,
                                     std::function<void()> destroyed)
    : host_(host), resized_(std::move(resized)), destroyed_(std::move(destroyed)) {
  if (xcb_connection_t* c = X11Connection()) {
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
