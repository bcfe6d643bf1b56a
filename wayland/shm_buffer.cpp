#include "shm_buffer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <climits>

namespace vz {

namespace {

const wl_buffer_listener kBufferListener = {
    [](void* data, wl_buffer*) { static_cast<ShmBuffer*>(data)->busy = false; },
};

}  // namespace

std::unique_ptr<ShmBuffer> ShmBuffer::Create(wl_shm* shm, int width, int height) {
  if (width <= 0 || height <= 0 || width > INT_MAX / 4 / height) return nullptr;
  std::unique_ptr<ShmBuffer> b(new ShmBuffer);
  b->width_ = width;
  b->bytes_ = static_cast<std::size_t>(width) * height * 4;

  const int fd = memfd_create("vivedaziv-buffer", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) return nullptr;
  if (ftruncate(fd, static_cast<off_t>(b->bytes_)) != 0) {
    close(fd);
    return nullptr;
  }
  // The compositor maps the same memory; it must never shrink under it.
  fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_SEAL);
  void* map = mmap(nullptr, b->bytes_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (map == MAP_FAILED) {
    close(fd);
    return nullptr;
  }
  b->pixels_ = static_cast<std::uint32_t*>(map);
  wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(b->bytes_));
  b->buffer_ = wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_XRGB8888);
  // The buffer keeps what it needs of the pool and of the memory.
  wl_shm_pool_destroy(pool);
  close(fd);
  wl_buffer_add_listener(b->buffer_, &kBufferListener, b.get());
  return b;
}

ShmBuffer::~ShmBuffer() {
  if (buffer_) wl_buffer_destroy(buffer_);
  if (pixels_) munmap(pixels_, bytes_);
}

}  // namespace vz
