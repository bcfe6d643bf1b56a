#pragma once

#include <QAbstractNativeEventFilter>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "x11_connection.h"

namespace vz {

// What the saver needs from the X server beyond what Qt offers: the
// display-wide selection of a running saver, the input grabs, black covers
// over every screen, and staying above every other window. Grabs and windows
// are made on Qt's own connection, so they belong to one client; a second
// connection, opened only for the check, merely probes whether another client
// holds the keyboard or pointer.
//
// The grabs are held on the root window, which no client can make
// unviewable, so nothing another client does to our windows frees them;
// input arrives there and is handed to the saver's window as if it had
// been sent to it. The saver's window and the covers live in the composite
// overlay, above every top-level window, where no other program's window can
// be raised over them and compositors neither fade nor redirect them.
// Any client may still unmap, reparent, destroy, move, resize, reshape or
// restack our windows: each is undone as soon as its event arrives, and a
// check every second repairs whatever events did not tell.
class X11Lock : public QAbstractNativeEventFilter {
 public:
  struct Callbacks {
    // Whether the saver still wants to be raised (false once it closes).
    std::function<bool()> mayRaise;
    // Pointer motion or a click on another X screen than the saver's.
    std::function<void()> otherScreenInput;
    // The saver's X window was destroyed or taken away by someone else: make
    // a new one, Adopt it, show it and return it (XCB_NONE when that is not
    // possible now).
    std::function<xcb_window_t()> rebuild;
    // Puts the saver's window back where it belongs and gives it the focus
    // again, after another client moved, resized or unmapped it.
    std::function<void()> restore;
  };

  // Nothing when the program does not run on X11.
  static std::unique_ptr<X11Lock> Open();
  ~X11Lock() override;

  // Takes the saver selection unless a saver already holds the screen.
  bool ClaimSaverSelection();

  // Holds the screen for `saver`, a window not shown yet: both grabs first,
  // then, with `cover`, the window moved into the overlay above a black
  // window over the whole of every X screen. Tries for as long as it takes.
  void Hold(xcb_window_t saver, bool cover, Callbacks callbacks);
  // Takes a new saver window, not shown yet, to where the old one lived.
  void Adopt(xcb_window_t saver);
  bool HoldsInput() const { return keyboard_ && pointer_; }
  // Whether another client has just done something to our windows: focus
  // lost with them is not the user's doing.
  bool Interfering() const;
  // The saver is about to replace its own window: the focus goes with it.
  void ReplacingWindow() { sinceInterference_.start(); }

  // Ungrabs, removes the covers, stops watching and gives up the selection.
  void Release();

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override;

 private:
  struct Screen {
    xcb_window_t root;
    // The overlay, held while we cover the screen (none without it).
    xcb_window_t overlay = XCB_NONE;
    // Where our windows live on this screen: the overlay, unless a
    // compositing manager paints over it; else the root.
    xcb_window_t parent = XCB_NONE;
    // The selection a compositing manager of this screen owns.
    xcb_atom_t compositor = XCB_NONE;
    std::uint16_t width = 0, height = 0;
    xcb_window_t cover = XCB_NONE;
    bool broken = true;  // the cover is to be made again
  };

  explicit X11Lock(xcb_connection_t* c);
  // Puts every window back, raises them and takes the grabs again; keeps
  // trying every 50 ms until all holds.
  void Repair();
  // Compares the windows and grabs with what they should be.
  void Check();
  void Grab();
  void MakeCover(Screen& screen);
  // Moves our windows on `screen` into the overlay, or out of it while a
  // compositing manager runs there (it paints over the overlay's windows).
  void ChooseParent(Screen& screen, bool compositing);
  // Root events: a size change; while our windows live beside the others,
  // every window mapped or restacked as well.
  void WatchRoot(const Screen& screen);
  void Raise();
  // Raises now, or as soon as the last raise is far enough behind.
  void RaiseSoon();
  // Another window mapped, moved or restacked: raise, unless that comes so
  // often that listening costs more than it wins.
  void OtherWindowChanged();
  // Raises unless our windows are above every other, the saver highest.
  void CheckStacking();
  void Interfered();
  void AddToEventMask(xcb_window_t window, std::uint32_t events);
  bool IsOurs(xcb_window_t window) const;
  Screen* ScreenOfCover(xcb_window_t window);
  Screen* ScreenOfRoot(xcb_window_t root);
  // Input that arrives through the grabs: handed to the saver's window.
  bool FilterInput(xcb_generic_event_t* event);
  void OnConfigure(const xcb_configure_notify_event_t& e);
  void OnTakenAway(std::uint8_t type, const xcb_generic_event_t* event);
  // Whether another client could take the keyboard or the pointer now,
  // asked through the probe connection and answered later.
  struct GrabProbe {
    xcb_grab_keyboard_cookie_t keyboard;
    xcb_grab_pointer_cookie_t pointer;
  };
  std::optional<GrabProbe> AskWhetherGrabsAreOpen();
  bool GrabsWereOpen(const GrabProbe& probe);

  xcb_connection_t* c_;
  // A connection of our own that plays "another client" in the checks.
  xcb_connection_t* probe_ = nullptr;
  xcb_atom_t selection_ = XCB_NONE;
  xcb_window_t selectionOwner_ = XCB_NONE;
  xcb_window_t saver_ = XCB_NONE;
  xcb_window_t saverRoot_ = XCB_NONE;
  // Where the saver's window is on its screen, for input taken on the root.
  int saverX_ = 0, saverY_ = 0, saverWidth_ = 0, saverHeight_ = 0;
  xcb_cursor_t blank_ = XCB_NONE;
  std::optional<std::uint8_t> shapeEvents_;
  bool holding_ = false;
  std::vector<Screen> screens_;
  Callbacks callbacks_;
  bool keyboard_ = false;
  bool pointer_ = false;
  bool filtering_ = false;
  bool repairing_ = false;
  bool restore_ = false;
  bool troubleReported_ = false;
  QElapsedTimer failingSince_;
  QElapsedTimer sinceRaise_;
  QElapsedTimer sinceInterference_;
  QElapsedTimer sinceChanges_;
  int changes_ = 0;
  bool deaf_ = false;
  QTimer raiseLater_;
  QTimer repairLater_;
  QTimer stackCheck_;
  QTimer check_;
};

}  // namespace vz
