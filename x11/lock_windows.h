#pragma once

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <optional>

namespace vz {

// The X mechanics the lock's windows rest on, apart from the lock's logic.

// The composite overlay of the screen `root`: a window above every top-level
// window, that no other client can stack a top-level window above, and that
// compositors never redirect (so nothing fades or lags there). Held, and so
// mapped, until the connection ends or ReleaseOverlay. XCB_NONE when the
// server lacks the extension.
xcb_window_t HoldOverlay(xcb_connection_t* c, xcb_window_t root);
void ReleaseOverlay(xcb_connection_t* c, xcb_window_t root);

// The first event code of the SHAPE extension; nothing when the server
// lacks it.
std::optional<std::uint8_t> ShapeEventBase(xcb_connection_t* c);
// Asks for ShapeNotify on `window`.
void WatchShape(xcb_connection_t* c, xcb_window_t window);
// Makes `window` a plain rectangle again, seen and clicked in full.
void ResetShape(xcb_connection_t* c, xcb_window_t window);
// Whether `window` has a bounding or clip shape of its own; asked without
// waiting, answered by IsShaped.
std::optional<xcb_shape_query_extents_cookie_t> AskShape(xcb_connection_t* c,
                                                          xcb_window_t window);
bool IsShaped(xcb_connection_t* c, const std::optional<xcb_shape_query_extents_cookie_t>& q);

// Asks a compositing manager to leave `window` alone: no fading, no
// animation, drawn straight where it can be.
void AskNotToComposite(xcb_connection_t* c, xcb_window_t window);

// A black override-redirect window over `width` × `height` of `screen`,
// inside `parent` (the overlay or the root), not mapped yet; with `events`
// selected and `cursor` shown over it when given.
xcb_window_t CreateBlackWindow(xcb_connection_t* c, const xcb_screen_t* screen,
                               xcb_window_t parent, std::uint16_t width, std::uint16_t height,
                               std::uint32_t events = 0, xcb_cursor_t cursor = XCB_NONE);

// An invisible pointer: a 1 × 1 cursor whose mask is empty.
xcb_cursor_t BlankCursor(xcb_connection_t* c, xcb_window_t root);

}  // namespace vz
