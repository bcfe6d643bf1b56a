#pragma once

#include <cstdint>
#include <memory>

struct wl_buffer;
struct wl_shm;

namespace vz {

// One XRGB8888 picture in shared memory that the compositor can show. Fresh
// memory is zero, which is black. Busy from attach until the compositor
// releases it; it must not be drawn into meanwhile.
class ShmBuffer {
 public:
  // Nothing when the memory or the buffer cannot be had.
  static std::unique_ptr<ShmBuffer> Create(wl_shm* shm, int width, int height);
  ~ShmBuffer();
  ShmBuffer(const ShmBuffer&) = delete;
  ShmBuffer& operator=(const ShmBuffer&) = delete;

  wl_buffer* Buffer() const { return buffer_; }
  std::uint32_t* Row(int y) const { return pixels_ + static_cast<std::size_t>(y) * width_; }
  std::uint32_t* Pixels() const { return pixels_; }
  std::size_t Bytes() const { return bytes_; }

  bool busy = false;

 private:
  ShmBuffer() = default;

  wl_buffer* buffer_ = nullptr;
  std::uint32_t* pixels_ = nullptr;
  std::size_t bytes_ = 0;
  int width_ = 0;
};

}  // namespace vz
