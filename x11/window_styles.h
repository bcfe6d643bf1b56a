#pragma once

#include <QWidget>
#include <cstdint>

namespace vz {

// Window style notions the particle windows are created with.
constexpr std::uint32_t kStyleChild = 0x40000000u;
constexpr std::uint32_t kStylePopup = 0x80000000u;
constexpr std::uint32_t kStyleVisible = 0x10000000u;
constexpr std::uint32_t kExStyleTopmost = 0x00000008u;

// A parent: one of our own widgets, a foreign native window (by id), or none.
struct WindowParent {
  QWidget* widget = nullptr;
  WId foreign = 0;
};

}  // namespace vz
