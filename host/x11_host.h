#pragma once

#include <QAbstractNativeEventFilter>
#include <QSize>
#include <cstdint>
#include <functional>
#include <optional>

namespace vz {

// True when the program runs on an X11 display.
bool OnX11();

// The size of an X11 window, straight from the server (Qt reads 0 × 0 for
// foreign windows); nothing when the id names no window.
std::optional<QSize> X11WindowSize(std::uint32_t window);

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
