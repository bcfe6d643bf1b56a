#include "lock_windows.h"

#include <xcb/composite.h>

#include <cstdlib>

namespace vz {

namespace {
bool HasExtension(xcb_connection_t* c, xcb_extension_t* ext) {
  const xcb_query_extension_reply_t* r = xcb_get_extension_data(c, ext);
  return r && r->present;
}
}  // namespace

xcb_window_t HoldOverlay(xcb_connection_t* c, xcb_window_t root) {
  if (!HasExtension(c, &xcb_composite_id)) return XCB_NONE;
  // The overlay exists from version 0.3 on, and the server wants to hear
  // which version we speak first.
  auto* v = xcb_composite_query_version_reply(c, xcb_composite_query_version(c, 0, 4), nullptr);
  const bool recent = v && (v->major_version > 0 || v->minor_version >= 3);
  std::free(v);
  if (!recent) return XCB_NONE;
  auto* o = xcb_composite_get_overlay_window_reply(c, xcb_composite_get_overlay_window(c, root),
                                                   nullptr);
  const xcb_window_t overlay = o ? o->overlay_win : xcb_window_t{XCB_NONE};
  std::free(o);
  return overlay;
}

void ReleaseOverlay(xcb_connection_t* c, xcb_window_t root) {
  if (HasExtension(c, &xcb_composite_id)) xcb_composite_release_overlay_window(c, root);
}

std::optional<std::uint8_t> ShapeEventBase(xcb_connection_t* c) {
  const xcb_query_extension_reply_t* r = xcb_get_extension_data(c, &xcb_shape_id);
  if (!r || !r->present) return std::nullopt;
  return r->first_event;
}

void WatchShape(xcb_connection_t* c, xcb_window_t window) {
  if (ShapeEventBase(c)) xcb_shape_select_input(c, window, 1);
}

void ResetShape(xcb_connection_t* c, xcb_window_t window) {
  if (!ShapeEventBase(c)) return;
  for (const xcb_shape_kind_t kind : {XCB_SHAPE_SK_BOUNDING, XCB_SHAPE_SK_CLIP, XCB_SHAPE_SK_INPUT}) {
    xcb_shape_mask(c, XCB_SHAPE_SO_SET, kind, window, 0, 0, XCB_NONE);
  }
}

std::optional<xcb_shape_query_extents_cookie_t> AskShape(xcb_connection_t* c,
                                                          xcb_window_t window) {
  if (!ShapeEventBase(c)) return std::nullopt;
  return xcb_shape_query_extents(c, window);
}

bool IsShaped(xcb_connection_t* c, const std::optional<xcb_shape_query_extents_cookie_t>& q) {
  if (!q) return false;
  auto* r = xcb_shape_query_extents_reply(c, *q, nullptr);
  const bool shaped = r && (r->bounding_shaped || r->clip_shaped);
  std::free(r);
  return shaped;
}

void AskNotToComposite(xcb_connection_t* c, xcb_window_t window) {
  static const char kName[] = "_NET_WM_BYPASS_COMPOSITOR";
  auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof kName - 1, kName), nullptr);
  if (!r) return;
  const std::uint32_t bypass = 1;
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, r->atom, XCB_ATOM_CARDINAL, 32, 1,
                      &bypass);
  std::free(r);
}

xcb_window_t CreateBlackWindow(xcb_connection_t* c, const xcb_screen_t* screen,
                               xcb_window_t parent, std::uint16_t width, std::uint16_t height,
                               std::uint32_t events, xcb_cursor_t cursor) {
  // Values in the order of their mask bits.
  std::uint32_t mask = XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT;
  std::uint32_t values[4] = {screen->black_pixel, 1};
  int n = 2;
  if (events) {
    mask |= XCB_CW_EVENT_MASK;
    values[n++] = events;
  }
  if (cursor != XCB_NONE) {
    mask |= XCB_CW_CURSOR;
    values[n++] = cursor;
  }
  const xcb_window_t w = xcb_generate_id(c);
  xcb_create_window(c, screen->root_depth, w, parent, 0, 0, width, height, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, mask, values);
  return w;
}

xcb_cursor_t BlankCursor(xcb_connection_t* c, xcb_window_t root) {
  const xcb_pixmap_t pixmap = xcb_generate_id(c);
  xcb_create_pixmap(c, 1, pixmap, root, 1, 1);
  const xcb_gcontext_t gc = xcb_generate_id(c);
  const std::uint32_t zero = 0;
  xcb_create_gc(c, gc, pixmap, XCB_GC_FOREGROUND, &zero);
  const xcb_rectangle_t all{0, 0, 1, 1};
  xcb_poly_fill_rectangle(c, pixmap, gc, 1, &all);
  const xcb_cursor_t cursor = xcb_generate_id(c);
  xcb_create_cursor(c, cursor, pixmap, pixmap, 0, 0, 0, 0, 0, 0, 0, 0);
  xcb_free_gc(c, gc);
  xcb_free_pixmap(c, pixmap);
  return cursor;
}

}  // namespace vz
