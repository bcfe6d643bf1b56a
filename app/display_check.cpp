#include "display_check.h"

#include <QList>
#include <QString>
#include <QtGlobal>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <utility>

#include <wayland-client.h>
#include <xcb/xcb.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

QtMessageHandler g_previousHandler = nullptr;
bool g_starting = true;
// What the toolkit said while it started, held back: when the display goes
// away meanwhile, one line of ours says it instead of many of its own.
struct HeldMessage {
  QtMsgType type;
  QString text;
};
QList<HeldMessage> g_held;

void Pass(QtMsgType type, const QString& text) {
  if (g_previousHandler) g_previousHandler(type, QMessageLogContext(), text);
}

void OnToolkitMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    if (g_starting) {
      g_held.append({type, text});
    } else if (g_previousHandler) {
      g_previousHandler(type, context, text);
    }
    return;
  }
  const char* display = std::getenv("DISPLAY");
  if (g_starting && UsesX11()) {
    std::fprintf(stderr, "vivedaziv: the X display \"%s\" went away while the program started\n",
                 display ? display : "");
  } else {
    for (const HeldMessage& m : std::exchange(g_held, {})) Pass(m.type, m.text);
    std::fprintf(stderr, "vivedaziv: cannot go on: %s\n", qPrintable(text.section(u'\n', 0, 0)));
  }
  _exit(1);
}

// The toolkit can also crash outright when the server goes in the middle of
// its own connection set-up. While it starts, such a crash is reported as
// the display's going, if the display's local socket no longer answers;
// otherwise it is a crash like any other. Everything here is safe in a
// signal handler.
sockaddr_un g_socket{};
bool g_socketKnown = false;
char g_goneLine[256];
struct sigaction g_oldSegv {}, g_oldBus {};

bool DisplayAnswers() {
  if (!g_socketKnown) return false;
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return false;
  const bool answers = connect(fd, reinterpret_cast<const sockaddr*>(&g_socket), sizeof g_socket) == 0;
  close(fd);
  return answers;
}

void OnCrashWhileStarting(int sig) {
  if (!DisplayAnswers()) {
    const ssize_t ignored = write(STDERR_FILENO, g_goneLine, std::strlen(g_goneLine));
    (void)ignored;
    _exit(1);
  }
  // A crash of our own: whatever handled it before, as the fault repeats.
  sigaction(sig, sig == SIGSEGV ? &g_oldSegv : &g_oldBus, nullptr);
}

// ":N", ":N.S" and "unix:N" name /tmp/.X11-unix/XN; other forms are not
// looked at.
void NoteDisplaySocket(const char* display) {
  std::string_view d = display ? display : "";
  if (d.starts_with("unix:")) d.remove_prefix(4);
  if (!d.starts_with(':')) return;
  d.remove_prefix(1);
  const std::string_view number = d.substr(0, d.find('.'));
  if (number.empty() || number.size() > 8) return;
  g_socket.sun_family = AF_UNIX;
  std::snprintf(g_socket.sun_path, sizeof g_socket.sun_path, "/tmp/.X11-unix/X%.*s",
                static_cast<int>(number.size()), number.data());
  g_socketKnown = true;
}

// The class of the root window's visual on `screen`; -1 when not found.
int RootVisualClass(xcb_connection_t* c, int screen) {
  xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (; screen > 0 && roots.rem > 1; --screen) xcb_screen_next(&roots);
  if (!roots.rem) return -1;
  for (auto depths = xcb_screen_allowed_depths_iterator(roots.data); depths.rem;
       xcb_depth_next(&depths)) {
    for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
         xcb_visualtype_next(&visuals)) {
      if (visuals.data->visual_id == roots.data->root_visual) return visuals.data->_class;
    }
  }
  return -1;
}

}  // namespace

void EndWithCodeOneOnFatalErrors() {
  g_previousHandler = qInstallMessageHandler(OnToolkitMessage);
  if (!UsesX11()) return;
  const char* display = std::getenv("DISPLAY");
  NoteDisplaySocket(display);
  std::snprintf(g_goneLine, sizeof g_goneLine,
                "vivedaziv: the X display \"%s\" went away while the program started\n",
                display ? display : "");
  struct sigaction onCrash {};
  onCrash.sa_handler = OnCrashWhileStarting;
  sigemptyset(&onCrash.sa_mask);
  sigaction(SIGSEGV, &onCrash, &g_oldSegv);
  sigaction(SIGBUS, &onCrash, &g_oldBus);
}

void ToolkitStarted() {
  if (UsesX11()) {
    sigaction(SIGSEGV, &g_oldSegv, nullptr);
    sigaction(SIGBUS, &g_oldBus, nullptr);
  }
  g_starting = false;
  for (const HeldMessage& m : std::exchange(g_held, {})) Pass(m.type, m.text);
}

bool DisplayAvailable(Mode mode) {
  if (!UsesX11()) return true;
  int screen = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screen);
  const bool ok = xcb_connection_has_error(c) == 0;
  const int visualClass = ok ? RootVisualClass(c, screen) : -1;
  xcb_disconnect(c);
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const bool chosen = platform != nullptr && *platform != '\0';
  if (ok && visualClass >= 0 && visualClass < XCB_VISUAL_CLASS_TRUE_COLOR) {
    // Colours there are entries of a colour map, which neither Qt nor the
    // ticks' fills allocate: the screen would stay black, the dialog crash.
    static const char* const kClasses[] = {"StaticGray", "GrayScale", "StaticColor",
                                           "PseudoColor"};
    std::fprintf(stderr,
                 "vivedaziv: the X screen shows colours through a colour map (%s); the "
                 "program needs a true-colour display\n",
                 kClasses[visualClass]);
    return false;
  }
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
