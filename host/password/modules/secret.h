#pragma once

#include <cstddef>

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace vz {

// Overwrites memory in a way the compiler may not drop as a dead store.
void WipeBytes(void* data, std::size_t size);

// Overwrites the characters of `text` in place and empties it. Copies sharing
// the same buffer are wiped as well, which is the point: a password handed
// around by value must not survive in any of them. Read-only (literal) data
// is left alone.
void Wipe(QString& text);
void Wipe(QByteArray& bytes);

// A typed password as UTF-8, kept in a buffer this class alone owns so that
// every byte of it can be wiped: growth copies into a new block and wipes the
// old one, and destruction wipes what is left.
class Secret {
 public:
  Secret() = default;
  ~Secret();
  Secret(const Secret&) = delete;
  Secret& operator=(const Secret&) = delete;

  void Append(QStringView text);
  // Drops the last character (a whole UTF-8 sequence).
  void RemoveLast();
  void Clear();

  bool IsEmpty() const { return size_ == 0; }
  std::size_t Size() const { return size_; }
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
