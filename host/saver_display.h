#pragma once

#include <QAbstractNativeEventFilter>
#include <QElapsedTimer>
#include <QRect>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "x11_connection.h"

namespace vz {

// What the saver needs from the X server beyond what Qt offers: the
// display-wide selection of a running saver, the input grabs, black covers
// over every screen the saver window itself does not cover, and staying
// above windows mapped after it. Everything goes through Qt's own
// connection, so grabs and windows belong to one client.
class SaverDisplay : public QAbstractNativeEventFilter {
 public:
  // Nothing when the program does not run on X11.
  static std::unique_ptr<SaverDisplay> Open();
  ~SaverDisplay() override;

  // Takes the saver selection unless another client owns it.
  bool ClaimSaverSelection();

  // Grabs for `window` whatever is not held yet; true when both are held.
  // A grab once held is never let go before Release().
  bool Grab(xcb_window_t window);
  bool HoldsInput() const { return keyboard_ && pointer_; }

  // Maps black windows over `monitors` (rectangles of the saver's own X
  // screen outside the saver window) and over the whole of every other X
  // screen of the display.
  void CoverOtherScreens(xcb_window_t saver, const std::vector<QRect>& monitors);

  // Raises `window` and the covers whenever another window is mapped or
  // restacked, or something covers one of them, and mayRaise agrees. Pointer motion or a click on another X screen (where
  // the saver's window is not) calls `otherScreenInput`.
  void KeepAbove(xcb_window_t window, std::function<bool()> mayRaise,
                 std::function<void()> otherScreenInput);

  // Ungrabs, removes the covers, stops keeping above and gives up the saver
  // selection.
  void Release();

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override;

 private:
  explicit SaverDisplay(xcb_connection_t* c);
  void Raise();
  // Raises now, or as soon as the last raise is far enough behind.
  void RaiseSoon();
  void AddToEventMask(xcb_window_t window, std::uint32_t events);
  bool IsOurs(xcb_window_t window) const;

  xcb_connection_t* c_;
  xcb_window_t selectionOwner_ = XCB_NONE;
  xcb_window_t above_ = XCB_NONE;
  std::vector<xcb_window_t> covers_;
  std::function<bool()> mayRaise_;
  std::function<void()> otherScreenInput_;
  bool keyboard_ = false;
  bool pointer_ = false;
  bool filtering_ = false;
  QElapsedTimer sinceRaise_;
  QTimer raiseLater_;
};

}  // namespace vz
