#pragma once

#include <cstddef>

namespace vz {

// Overwrites memory in a way the compiler may not drop as a dead store.
void WipeBytes(void* data, std::size_t size);

// Bytes of a password, in a buffer this class alone owns: locked in RAM so
// it never reaches swap, copied and wiped on growth, wiped when cleared and
// when destroyed. No Qt, so the PAM helper program can use it too.
class LockedBytes {
 public:
  LockedBytes() = default;
  ~LockedBytes();
  LockedBytes(const LockedBytes&) = delete;
  LockedBytes& operator=(const LockedBytes&) = delete;

  void Append(const char* bytes, std::size_t count);
  // Wipes and drops everything from `size` on.
  void Truncate(std::size_t size);
  void Clear() { Truncate(0); }

  std::size_t Size() const { return size_; }
  bool IsEmpty() const { return size_ == 0; }
  // NUL-terminated.
  const char* Data() const { return data_ != nullptr ? data_ : ""; }
  // A malloc'ed, NUL-terminated copy for PAM, which frees its answers itself.
  // nullptr when out of memory.
  char* DuplicateForPam() const;

 private:
  void Reserve(std::size_t capacity);

  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace vz
