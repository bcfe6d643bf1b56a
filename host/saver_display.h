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
// over every screen, and staying above windows mapped after it. Everything
// goes through Qt's own connection, so grabs and windows belong to one
// client.
//
// Any client of the display may unmap, reparent or destroy our windows, and
// the server then drops our grabs. The screen is held again as soon as such
// interference shows (events), and a check every second repairs whatever
// events did not tell.
class SaverDisplay : public QAbstractNativeEventFilter {
 public:
  struct Callbacks {
    // Whether the saver still wants to be raised (false once it closes).
    std::function<bool()> mayRaise;
    // Pointer motion or a click on another X screen than the saver's.
    std::function<void()> otherScreenInput;
    // The saver's X window was destroyed by someone else: make a new one
    // and return it (XCB_NONE when that is not possible now).
    std::function<xcb_window_t()> rebuild;
  };

  // Nothing when the program does not run on X11.
  static std::unique_ptr<SaverDisplay> Open();
  ~SaverDisplay() override;

  // Takes the saver selection unless a saver already holds the screen.
  bool ClaimSaverSelection();

  // Holds the screen for `saver`: both grabs, with `cover` a black window
  // over the whole of every X screen below it, kept above every other
  // window. Tries for as long as it takes.
  void Hold(xcb_window_t saver, bool cover, Callbacks callbacks);
  bool HoldsInput() const { return keyboard_ && pointer_; }

  // Ungrabs, removes the covers, stops watching and gives up the selection.
  void Release();

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override;

 private:
  struct Cover {
    xcb_window_t root;
    xcb_window_t window = XCB_NONE;
    bool broken = true;  // to be made again
  };

  explicit SaverDisplay(xcb_connection_t* c);
  // Puts every window back, raises them and takes the grabs again; keeps
  // trying every 50 ms until all holds.
  void Repair();
  // Compares the windows and grabs with what they should be.
  void Check();
  void Grab(xcb_window_t window);
  void MakeCover(Cover& cover);
  void Raise();
  // Raises now, or as soon as the last raise is far enough behind.
  void RaiseSoon();
  void Interfered();
  void AddToEventMask(xcb_window_t window, std::uint32_t events);
  bool IsOurs(xcb_window_t window) const;
  Cover* CoverFor(xcb_window_t window);
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
  xcb_window_t selectionOwner_ = XCB_NONE;
  xcb_window_t saver_ = XCB_NONE;
  xcb_window_t saverRoot_ = XCB_NONE;
  xcb_window_t grabWindow_ = XCB_NONE;
  bool holding_ = false;
  std::vector<Cover> covers_;
  Callbacks callbacks_;
  bool keyboard_ = false;
  bool pointer_ = false;
  bool filtering_ = false;
  bool repairing_ = false;
  bool told_ = false;
  QElapsedTimer failingSince_;
  QElapsedTimer sinceRaise_;
  QTimer raiseLater_;
  QTimer repairLater_;
  QTimer check_;
};

}  // namespace vz
