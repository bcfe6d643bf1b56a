#pragma once

#include <cstddef>

#include <QByteArray>
#include <QString>
#include <QStringView>

#include "locked_bytes.h"

namespace vz {

// Overwrites the characters of `text` in place and empties it. Copies sharing
// the same buffer are wiped as well, which is the point: a password handed
// around by value must not survive in any of them. Read-only (literal) data
// is left alone.
void Wipe(QString& text);
void Wipe(QByteArray& bytes);

// A typed password as UTF-8 in locked memory (LockedBytes), edited a whole
// character at a time.
class Secret {
 public:
  void Append(QStringView text);
  // Drops the last character (a whole UTF-8 sequence).
  void RemoveLast();
  void Clear() { bytes_.Clear(); }

  bool IsEmpty() const { return bytes_.IsEmpty(); }
  std::size_t Size() const { return bytes_.Size(); }
  // How many characters (code points) it holds.
  std::size_t Length() const;
  // NUL-terminated.
  const char* Data() const { return bytes_.Data(); }
  char* DuplicateForPam() const { return bytes_.DuplicateForPam(); }

 private:
  LockedBytes bytes_;
};

}  // namespace vz
