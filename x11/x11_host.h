#pragma once

#include <QAbstractNativeEventFilter>
#include <QRect>
#include <QSize>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vz {

// True when the program runs on an X11 display.
bool OnX11();
// True when it did, and the connection broke (the server ended).
bool X11ConnectionBroken();

// The size of an X11 window, straight from the server (Qt reads 0 × 0 for
// foreign windows); nothing when the id names no window (a pixmap, say).
std::optional<QSize> X11WindowSize(std::uint32_t window);

// Readies the X11 window `host` to hold a preview: first asks to hear of
// its destruction, so that no moment goes unseen, then checks that it is an
// InputOutput window on the screen our windows are made on. Its size, or
// nothing with the reason in `why`.
std::optional<QSize> PreparePreviewHost(std::uint32_t host, std::string& why);

// Whether `window` is now a child of `parent`, straight from the server.
bool X11IsChildOf(std::uint32_t window, std::uint32_t parent);

// Where an X11 window lies on the screen, in root coordinates, and whether
// it is viewable (mapped, and so are its ancestors); nothing when the id
// names no window.
struct X11Placement {
  QRect rect;
  bool viewable = false;
};
std::optional<X11Placement> X11WindowPlacement(std::uint32_t window);

// The top-level window that holds `window` (the window itself when it is
// one): the nearest ancestor the window manager manages, or else the child
// of the root. 0 when the id names no window or is the root itself.
std::uint32_t X11TopLevel(std::uint32_t window);

// The window manager's active window (the root's _NET_ACTIVE_WINDOW); 0 when
// it is unset or names no window.
std::uint32_t X11ActiveWindow();

// Follows a host's window and our child inside it: reports the host's new
// size and the destruction of either window.
class HostWindowWatcher : public QAbstractNativeEventFilter {
 public:
  HostWindowWatcher(std::uint32_t host, std::function<void(QSize)> resized,
                    std::function<void()> destroyed);
  ~HostWindowWatcher() override;
  void WatchChild(std::uint32_t child) { child_ = child; }

  bool nativeEventFilter(const QByteArray& eventType, void* message,
                         qintptr* result) override;

 private:
  std::uint32_t host_;
  std::uint32_t child_ = 0;
  std::function<void(QSize)> resized_;
  std::function<void()> destroyed_;
  bool gone_ = false;
};

}  // namespace vz
