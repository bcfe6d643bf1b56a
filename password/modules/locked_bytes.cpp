#include "locked_bytes.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace vz {
namespace {

char* AllocateLocked(std::size_t size) {
  auto* block = static_cast<char*>(std::malloc(size));
  if (block == nullptr) throw std::bad_alloc();
  std::memset(block, 0, size);
  // Best effort: without the right (RLIMIT_MEMLOCK) the buffer still works,
  // it is only not kept out of swap.
  mlock(block, size);
  return block;
}

void FreeLocked(char* block, std::size_t size) {
  if (block == nullptr) return;
  WipeBytes(block, size);
  munlock(block, size);
  std::free(block);
}

}  // namespace

void WipeBytes(void* data, std::size_t size) {
  if (data != nullptr && size > 0) explicit_bzero(data, size);
}

LockedBytes::~LockedBytes() { FreeLocked(data_, capacity_); }

void LockedBytes::Reserve(std::size_t capacity) {
  if (capacity <= capacity_) return;
  std::size_t grown = capacity_ == 0 ? 256 : capacity_;
  while (grown < capacity) grown *= 2;
  char* block = AllocateLocked(grown);
  if (data_ != nullptr) {
    std::memcpy(block, data_, size_ + 1);
  } else {
    block[0] = '\0';
  }
  FreeLocked(data_, capacity_);
  data_ = block;
  capacity_ = grown;
}

void LockedBytes::Append(const char* bytes, std::size_t count) {
  if (count == 0) return;
  Reserve(size_ + count + 1);
  std::memcpy(data_ + size_, bytes, count);
  size_ += count;
  data_[size_] = '\0';
}

void LockedBytes::Truncate(std::size_t size) {
  if (size >= size_) return;
  WipeBytes(data_ + size, capacity_ - size);
  size_ = size;
}

char* LockedBytes::DuplicateForPam() const {
  auto* copy = static_cast<char*>(std::malloc(size_ + 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, Data(), size_);
  copy[size_] = '\0';
  return copy;
}

}  // namespace vz
