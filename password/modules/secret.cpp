#include "secret.h"

namespace vz {

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

void Secret::Append(QStringView text) {
  if (text.isEmpty()) return;
  QByteArray utf8 = text.toUtf8();
  bytes_.Append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
  Wipe(utf8);
}

std::size_t Secret::Length() const {
  // Every byte but a continuation byte (10xxxxxx) starts a character.
  std::size_t length = 0;
  const char* data = bytes_.Data();
  for (std::size_t i = 0; i < bytes_.Size(); ++i) {
    if ((static_cast<unsigned char>(data[i]) & 0xC0) != 0x80) ++length;
  }
  return length;
}

void Secret::RemoveLast() {
  std::size_t end = bytes_.Size();
  if (end == 0) return;
  // Step back over continuation bytes (10xxxxxx) to the sequence's lead byte.
  const char* data = bytes_.Data();
  --end;
  while (end > 0 && (static_cast<unsigned char>(data[end]) & 0xC0) == 0x80) --end;
  bytes_.Truncate(end);
}

}  // namespace vz
