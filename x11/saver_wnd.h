#pragma once

#include <cstdint>
#include <memory>

#include "particle_wnd.h"

namespace vz {

class X11Lock;

// The full-screen saver: a particle window over the whole primary screen,
// above every other window, with the pointer hidden; every other screen is
// covered black. The first sign of the
// user (a key, a click, a pointer movement away from the first position
// seen, or losing activation) posts a close request.
class CSaverWnd : public CParticleWnd {
  Q_OBJECT

 public:
  CSaverWnd();
  ~CSaverWnd() override;

  // Creates the window over the primary screen. Fails, and the object is
  // gone on return, when another saver already runs on this display.
  bool CreateFullScreen();

  bool Create(std::uint32_t exStyle, std::uint32_t style, const QRect& rect,
              const WindowParent& parent) override;

  // Queues a close request; each one reaches OnCloseRequest in turn while
  // the window lives.
  void PostCloseRequest();

  // First pointer position seen, as signed 16-bit client coordinates; −1,−1
  // while none. Never updated after the first record.
  std::int32_t lastMouseX = -1;
  std::int32_t lastMouseY = -1;
  // Set while the user is being asked to confirm leaving the saver.
  bool verifying = false;
  // One for the process: after a refused password the next close request,
  // whatever its source, is ignored.
  static bool ignoreNextClose;

 protected:
  // Handles one close request of our own: closes the window, after the
  // user's password when the desktop asks for one.
  virtual void OnCloseRequest();

  void OnDestroy() override;
  void DropBuffer() override;
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Keeps the window over the primary screen as screens change.
  void FollowPrimaryScreen();
  void PlaceOnPrimaryScreen();
  // After another client moved, resized or unmapped the window: back in its
  // place, with the focus.
  void Restore();
  // Loss of activation asks to close, unless another client caused it.
  void LostActivation();
  // Makes the X window again after another program destroyed it or took it
  // away; returns the new one.
  std::uint32_t RebuildNativeWindow();

  std::unique_ptr<X11Lock> lock_;
};

}  // namespace vz
