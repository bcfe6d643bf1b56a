#include "display_check.h"

#include <wayland-client.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace vz {

namespace {

std::string& WaylandProblem() {
  static std::string problem;
  return problem;
}

// X11 is the platform unless QT_QPA_PLATFORM names another first
// ("offscreen", "xcb:option", "wayland;xcb").
bool UsesX11() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform == nullptr || *platform == '\0') return true;
  const std::string_view list(platform);
  return list.substr(0, list.find_first_of(";:")) == "xcb";
}

bool WaylandAnswers() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  if (name == nullptr || *name == '\0') return false;
  wl_display* d = wl_display_connect(nullptr);
  if (d) wl_display_disconnect(d);
  return d != nullptr;
}

}  // namespace

bool DisplayAvailable(Mode mode) {
  if (!UsesX11()) return true;
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  const bool ok = xcb_connection_has_error(c) == 0;
  xcb_disconnect(c);
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const bool chosen = platform != nullptr && *platform != '\0';
  if (ok) {
    // Qt would take Wayland where both are there; the program's own X11
    // code (grabs, covers, host windows) needs Qt on the same display.
    if (!chosen) setenv("QT_QPA_PLATFORM", "xcb", 1);
    return true;
  }
  if (!chosen && (mode == Mode::Configure || mode == Mode::ChangePassword) && WaylandAnswers()) {
    setenv("QT_QPA_PLATFORM", "wayland", 1);
    return true;
  }
  if (!WaylandProblem().empty()) std::fprintf(stderr, "vivedaziv: %s\n", WaylandProblem().c_str());
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    std::fprintf(stderr, "vivedaziv: no X display could be opened: DISPLAY is not set\n");
  } else {
    std::fprintf(stderr, "vivedaziv: no X display could be opened at \"%s\"\n", name);
  }
  return false;
}

void NoteWaylandProblem(std::string problem) { WaylandProblem() = std::move(problem); }

}  // namespace vz
