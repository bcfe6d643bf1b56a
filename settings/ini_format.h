#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace vz {

// The text format of every settings file: [section] headers and name=value
// lines, as Qt's INI files and older desktops wrote them. Names match
// whatever their case; when a name occurs more than once, the last one in
// the file counts. Lines before any header are in "General".

// One line of a file, kept byte for byte unless it holds an entry that is
// being rewritten.
struct IniLine {
  enum class Kind { Other, Header, Entry } kind = Kind::Other;
  QByteArray raw;    // without its line break
  QByteArray eol;    // its line break: "\n", "\r\n", "\r", or none at the end
  QString name;      // the section of a header, the key of an entry
  QByteArray value;  // the text after "=" of an entry
};

struct IniContent {
  bool bom = false;       // a UTF-8 byte-order mark an editor put first
  QByteArray eol = "\n";  // the file's first line break, for lines added
  QList<IniLine> lines;
};

// One entry to write as a signed decimal number.
struct IniWrite {
  QString section;
  QString entry;
  std::int32_t value;
};

bool SameIniName(const QString& a, const QString& b);

// Reads past every flaw: a line that is neither a section header nor holds
// "=" counts for nothing, and a header lacking its "]" still opens a section.
IniContent ParseIni(QByteArray bytes);

// The text after "=" of the last entry of that name in a section of that
// name; null when there is none.
const QByteArray* FindIniValue(const IniContent& c, const QString& section, const QString& entry);

// The text after "=" as one value: quotes are dropped, a ";" outside them
// starts a comment; a "," outside them makes a list and a "\" an escape,
// neither of which is one plain value.
std::optional<QByteArray> IniPlainValue(const QByteArray& raw);

// The file with `writes` made, in order (the last write of an entry and its
// spelling count): each section written becomes one section at the place of
// its first header, or a new one at the end; every other byte stays.
QByteArray RenderIni(const IniContent& c, const QList<IniWrite>& writes);

}  // namespace vz
