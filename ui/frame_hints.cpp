#include "frame_hints.h"

#include <QGuiApplication>
#include <QWidget>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

#include "x11_connection.h"

namespace vz {

namespace {

// The value of a property, as bytes; empty when it is missing.
std::string Property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property) {
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      c, xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr);
  std::string value;
  if (reply) {
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply));
    value.assign(data, static_cast<std::size_t>(xcb_get_property_value_length(reply)));
  }
  std::free(reply);
  return value;
}

// The running window manager's name, as it announces itself.
std::string WindowManagerName(xcb_connection_t* c, xcb_window_t root) {
  const std::string check = Property(c, root, X11Atom(c, "_NET_SUPPORTING_WM_CHECK"));
  if (check.size() != sizeof(xcb_window_t)) return {};
  xcb_window_t wm;
  std::memcpy(&wm, check.data(), sizeof wm);
  return Property(c, wm, X11Atom(c, "_NET_WM_NAME"));
}

// _MOTIF_WM_HINTS: flags, functions, decorations, input mode, status.
constexpr std::uint32_t kMwmFunctions = 1, kMwmDecorations = 2;
constexpr std::uint32_t kMwmFuncMove = 4, kMwmFuncClose = 32;
constexpr std::uint32_t kMwmDecorBorder = 2, kMwmDecorTitle = 8;

}  // namespace

void SetFrameHints(QWidget& window, bool closeBox) {
  xcb_connection_t* c = X11Connection();
  if (!c) return;
  const auto id = static_cast<xcb_window_t>(window.winId());

  // Qt leaves the functions to the window manager unless a button is asked
  // for; these allow moving, and closing only with a close box.
  const std::array<std::uint32_t, 5> motif = {kMwmFunctions | kMwmDecorations,
                                              kMwmFuncMove | (closeBox ? kMwmFuncClose : 0),
                                              kMwmDecorBorder | kMwmDecorTitle, 0, 0};
  const xcb_atom_t motifAtom = X11Atom(c, "_MOTIF_WM_HINTS");
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, motifAtom, motifAtom, 32, motif.size(),
                      motif.data());

  // Openbox takes its buttons from the window type alone, and only a
  // toolbar or menu goes without minimise and maximise; a titled window
  // always keeps its close box there. The dialog's own types follow as
  // fallbacks.
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  if (screen && WindowManagerName(c, screen->root) == "Openbox") {
    const std::array<xcb_atom_t, 3> types = {X11Atom(c, "_NET_WM_WINDOW_TYPE_TOOLBAR"),
                                             X11Atom(c, "_NET_WM_WINDOW_TYPE_DIALOG"),
                                             X11Atom(c, "_NET_WM_WINDOW_TYPE_NORMAL")};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, X11Atom(c, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM,
                        32, types.size(), types.data());
  }
  xcb_flush(c);
}

}  // namespace vz
