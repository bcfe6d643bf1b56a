#include "secret.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace vz {

void WipeBytes(void* data, std::size_t size) {
  if (data != nullptr && size > 0) explicit_bzero(data, size);
}

void Wipe(QString& text) {
  if (!text.isEmpty() && text.data_ptr().isMutable()) {
    WipeBytes(const_cast<QChar*>(text.constData()),
              static_cast<std::size_t>(text.size()) * sizeof(QChar));
  }
  text = QString();
}

void Wipe(QByteArray& bytes) {
  if (!bytes.isEmpty() && bytes.data_ptr().isMutable()) {
    WipeBytes(const_cast<char*>(bytes.constData()),
              static_cast<std::size_t>(bytes.size()));
  }
  bytes = QByteArray();
}

Secret::~Secret() {
  Clear();
  std::free(data_);
}

void Secret::Reserve(std::size_t capacity) {
  if (capacity <= capacity_) return;
  std::size_t grown = capacity_ == 0 ? 64 : capacity_;
  while (grown < capacity) grown *= 2;
  auto* block = static_cast<char*>(std::malloc(grown));
  if (block == nullptr) throw std::bad_alloc();
  if (data_ != nullptr) {
    std::memcpy(block, data_, size_ + 1);
    WipeBytes(data_, capacity_);
    std::free(data_);
  } else {
    block[0] = '\0';
  }
  data_ = block;
  capacity_ = grown;
}

void Secret::Append(QStringView text) {
  if (text.isEmpty()) return;
  QByteArray utf8 = text.toUtf8();
  Reserve(size_ + static_cast<std::size_t>(utf8.size()) + 1);
  std::memcpy(data_ + size_, utf8.constData(),
              static_cast<std::size_t>(utf8.size()));
  size_ += static_cast<std::size_t>(utf8.size());
  data_[size_] = '\0';
  Wipe(utf8);
}

void Secret::RemoveLast() {
  if (size_ == 0) return;
  // Step back over continuation bytes (10xxxxxx) to the sequence's lead byte.
  std::size_t end = size_ - 1;
  while (end > 0 && (static_cast<unsigned char>(data_[end]) & 0xC0) == 0x80) {
    --end;
  }
  WipeBytes(data_ + end, size_ - end);
  size_ = end;
}

void Secret::Clear() {
  WipeBytes(data_, capacity_);
  size_ = 0;
}

char* Secret::DuplicateForPam() const {
  auto* copy = static_cast<char*>(std::malloc(size_ + 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, Data(), size_);
  copy[size_] = '\0';
  return copy;
}

}  // namespace vz
