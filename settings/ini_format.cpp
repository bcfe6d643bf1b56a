#include "ini_format.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace vz {

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";

bool IsHex(QStringView s) {
  return std::all_of(s.begin(), s.end(),
                     [](QChar c) { return c.unicode() < 0x80 && isxdigit(c.unicode()); });
}

// Names are escaped as QSettings always wrote them, so files written before
// keep their meaning: "%XX" and "%UXXXX" for characters outside [A-Za-z0-9_.-]
// and "\" for "/".
QString UnescapedName(const QByteArray& text) {
  const QString s = QString::fromUtf8(text);
  QString out;
  for (qsizetype i = 0; i < s.size(); ++i) {
    if (s[i] == u'\\') {
      out += u'/';
      continue;
    }
    if (s[i] == u'%') {
      const bool wide = i + 1 < s.size() && s[i + 1] == u'U';
      const qsizetype from = i + (wide ? 2 : 1), digits = wide ? 4 : 2;
      const QStringView code = QStringView(s).mid(from, digits);
      if (code.size() == digits && IsHex(code)) {
        out += QChar(char16_t(code.toUInt(nullptr, 16)));
        i = from + digits - 1;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

QByteArray EscapedName(const QString& name) {
  QByteArray out;
  for (const QChar c : name) {
    const char16_t u = c.unicode();
    if (u == u'/') {
      out += '\\';
    } else if (u < 0x80 && (isalnum(u) || u == '_' || u == '-' || u == '.')) {
      out += char(u);
    } else {
      out += (u <= 0xFF ? "%" : "%U") +
             QByteArray::number(u, 16).toUpper().rightJustified(u <= 0xFF ? 2 : 4, '0');
    }
  }
  return out;
}

// The line break that ends `bytes` at `at`: CR, LF or CRLF, as old Mac,
// Unix and Windows editors wrote them.
QByteArray LineBreakAt(const QByteArray& bytes, qsizetype at) {
  if (at >= bytes.size()) return {};
  if (bytes[at] == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n') return "\r\n";
  return bytes.mid(at, 1);
}

// A header line naming `name`: as it was when it already spells the name so,
// else with only the name replaced; text around the brackets stays.
QByteArray HeaderLine(const QByteArray& raw, const QString& name) {
  const QByteArray escaped = EscapedName(name);
  const qsizetype open = raw.indexOf('['), close = raw.indexOf(']', open);
  if (close >= 0 && raw.mid(open + 1, close - open - 1).trimmed() == escaped) return raw;
  return raw.left(open + 1) + escaped + ']' + (close < 0 ? QByteArray() : raw.mid(close + 1));
}

// A section being written: one write per entry whatever the case of its
// name, and the first header of its name in the file (-1 for none).
struct SectionWrite {
  QString name;
  QList<std::pair<QString, std::int32_t>> entries;
  qsizetype firstHeader = -1;
};

// The last write of each entry and its spelling count, so does the
// section's last spelling; entries sorted by name.
QList<SectionWrite> GatherWrites(const QList<IniWrite>& writes) {
  QList<SectionWrite> sections;
  for (const IniWrite& w : writes) {
    auto s = std::find_if(sections.begin(), sections.end(),
                          [&](const SectionWrite& x) { return SameIniName(x.name, w.section); });
    if (s == sections.end()) s = sections.insert(sections.end(), SectionWrite{w.section, {}});
    s->name = w.section;
    auto e = std::find_if(s->entries.begin(), s->entries.end(),
                          [&](const auto& x) { return SameIniName(x.first, w.entry); });
    if (e == s->entries.end()) {
      s->entries.append({w.entry, w.value});
    } else {
      *e = {w.entry, w.value};
    }
  }
  for (SectionWrite& s : sections) std::sort(s.entries.begin(), s.entries.end());
  return sections;
}

// The section being written that each line lies in, -1 for the others;
// notes each section's first header on the way.
QList<qsizetype> SectionOfEachLine(const IniContent& c, QList<SectionWrite>& sections) {
  QList<qsizetype> owner(c.lines.size(), -1);
  qsizetype current = -1;
  for (qsizetype i = 0; i < c.lines.size(); ++i) {
    if (c.lines[i].kind == IniLine::Kind::Header) {
      const auto s = std::find_if(sections.begin(), sections.end(), [&](const SectionWrite& x) {
        return SameIniName(x.name, c.lines[i].name);
      });
      current = s == sections.end() ? -1 : s - sections.begin();
      if (current >= 0 && s->firstHeader < 0) s->firstHeader = i;
    }
    owner[i] = current;
  }
  return owner;
}

bool IsRewritten(const SectionWrite& s, const IniLine& line) {
  return line.kind == IniLine::Kind::Entry &&
         std::any_of(s.entries.begin(), s.entries.end(),
                     [&](const auto& e) { return SameIniName(e.first, line.name); });
}

// Where the body of a section's kept lines ends: blank lines that part
// sections stay last, except the one that keeps a line ending in "\" apart
// from the entries: it stays where it is, so saving again adds none.
qsizetype BodyEnd(const QList<const IniLine*>& kept, const QByteArray& header) {
  qsizetype body = kept.size();
  while (body > 0 && kept[body - 1]->raw.trimmed().isEmpty() &&
         !(body > 1 ? kept[body - 2]->raw : header).endsWith('\\')) {
    --body;
  }
  return body;
}

// The new text, a line at a time.
class IniWriter {
 public:
  explicit IniWriter(const IniContent& c) : c_(c), out_(c.bom ? kBom : "") {}

  // A line of the file as it was.
  void Keep(const IniLine& line) { Append(line.raw, line.eol.isEmpty() ? c_.eol : line.eol); }

  // A line of ours. Other readers join a line ending in "\" with the next
  // one: a blank line between keeps it from being swallowed.
  void Write(const QByteArray& raw) {
    if (last_ && last_->endsWith('\\')) Append({}, c_.eol);
    Append(raw, c_.eol);
  }

  // A blank line before a section added at the end.
  void PartFromWhatWentBefore() {
    if (last_ && !last_->trimmed().isEmpty()) Append({}, c_.eol);
  }

  // Every part of the file with the section's name becomes one section
  // under its written name, at the place of the first: other keys, comments
  // and flawed lines stay, the written entries follow them.
  void Section(const SectionWrite& s, qsizetype index, const QList<qsizetype>& owner) {
    QList<const IniLine*> kept;
    for (qsizetype i = 0; i < c_.lines.size(); ++i) {
      const IniLine& line = c_.lines[i];
      if (owner[i] == index && line.kind != IniLine::Kind::Header && !IsRewritten(s, line)) {
        kept.append(&line);
      }
    }
    const QByteArray header = s.firstHeader < 0
                                  ? '[' + EscapedName(s.name) + ']'
                                  : HeaderLine(c_.lines[s.firstHeader].raw, s.name);
    const qsizetype body = BodyEnd(kept, header);
    Write(header);
    for (qsizetype j = 0; j < body; ++j) Keep(*kept[j]);
    for (const auto& [entry, value] : s.entries) {
      Write(EscapedName(entry) + '=' + QByteArray::number(value));
    }
    for (qsizetype j = body; j < kept.size(); ++j) Keep(*kept[j]);
  }

  QByteArray Take() { return std::move(out_); }

 private:
  void Append(const QByteArray& raw, const QByteArray& eol) {
    // An empty line's LF right after a lone CR would read as one CRLF, and
    // the line would be gone at the next read: it ends in CR as well.
    out_ += raw + (raw.isEmpty() && eol.startsWith('\n') && out_.endsWith('\r') ? "\r" : eol);
    last_ = raw;
  }

  const IniContent& c_;
  QByteArray out_;
  std::optional<QByteArray> last_;  // the line written last
};

}  // namespace

bool SameIniName(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

std::optional<QByteArray> IniPlainValue(const QByteArray& raw) {
  QByteArray text;
  bool quoted = false;
  for (const char c : raw) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ';' && !quoted) {
      break;
    } else if ((c == ',' && !quoted) || c == '\\') {
      return std::nullopt;
    } else {
      text += c;
    }
  }
  return text.trimmed();
}

IniContent ParseIni(QByteArray bytes) {
  IniContent c;
  if (bytes.startsWith(kBom)) {
    c.bom = true;
    bytes.remove(0, 3);
  }
  for (qsizetype at = 0; at < bytes.size();) {
    qsizetype end = at;
    while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r') ++end;
    IniLine line;
    line.raw = bytes.mid(at, end - at);
    line.eol = LineBreakAt(bytes, end);
    if (c.lines.isEmpty() && !line.eol.isEmpty()) c.eol = line.eol;
    at = end + line.eol.size();
    const QByteArray text = line.raw.trimmed();
    const qsizetype eq = text.indexOf('=');
    if (text.startsWith('[')) {
      const qsizetype close = text.indexOf(']');
      line.kind = IniLine::Kind::Header;
      line.name = UnescapedName(text.mid(1, close < 0 ? -1 : close - 1).trimmed());
    } else if (eq >= 0 && !text.startsWith(';') && !text.startsWith('#') &&
               !text.startsWith(kBom)) {
      // A name behind a byte-order mark is not ours, though decoding would
      // drop the mark.
      line.kind = IniLine::Kind::Entry;
      line.name = UnescapedName(text.left(eq).trimmed());
      line.value = text.mid(eq + 1);
    }
    c.lines.append(line);
  }
  return c;
}

const QByteArray* FindIniValue(const IniContent& c, const QString& section,
                               const QString& entry) {
  const QByteArray* found = nullptr;
  bool inside = SameIniName(section, QStringLiteral("General"));
  for (const IniLine& line : c.lines) {
    if (line.kind == IniLine::Kind::Header) {
      inside = SameIniName(line.name, section);
    } else if (inside && line.kind == IniLine::Kind::Entry && SameIniName(line.name, entry)) {
      found = &line.value;
    }
  }
  return found;
}

QByteArray RenderIni(const IniContent& c, const QList<IniWrite>& writes) {
  QList<SectionWrite> sections = GatherWrites(writes);
  const QList<qsizetype> owner = SectionOfEachLine(c, sections);
  IniWriter writer(c);
  for (qsizetype i = 0; i < c.lines.size(); ++i) {
    if (owner[i] < 0) {
      writer.Keep(c.lines[i]);
    } else if (sections[owner[i]].firstHeader == i) {
      writer.Section(sections[owner[i]], owner[i], owner);
    }
  }
  for (qsizetype k = 0; k < sections.size(); ++k) {
    if (sections[k].firstHeader >= 0) continue;
    writer.PartFromWhatWentBefore();
    writer.Section(sections[k], k, owner);
  }
  return writer.Take();
}

}  // namespace vz
