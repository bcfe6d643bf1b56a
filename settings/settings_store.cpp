#include "settings_store.h"

#include <QCoreApplication>
#include <QFile>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "entry_table.h"
#include "settings_file.h"

namespace vz {

namespace {

using Line = SettingsStore::Line;
using Content = SettingsStore::Content;

constexpr char kBom[] = "\xEF\xBB\xBF";
// How long a save waits for another one under way.
constexpr int kLockWaitMs = 5000;

bool SameName(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool InRange(qlonglong n, std::uint32_t& out) {
  if (n < -2147483648LL || n > 4294967295LL) return false;
  out = static_cast<std::uint32_t>(n);
  return true;
}

// The text after "=" as one value: quotes are dropped, a ";" outside them
// starts a comment; a "," outside them makes a list and a "\" an escape,
// neither of which is one plain value.
std::optional<QByteArray> StoredText(const QByteArray& raw) {
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

bool ParseStored(const QByteArray& raw, std::uint32_t& out) {
  const std::optional<QByteArray> text = StoredText(raw);
  bool ok = false;
  const qlonglong n = text ? text->toLongLong(&ok, 10) : 0;
  return ok && InRange(n, out);
}

bool IsHex(QStringView s) {
  return std::all_of(s.begin(), s.end(), [](QChar c) { return c.unicode() < 0x80 && isxdigit(c.unicode()); });
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

// Reads past every flaw: a line that is neither a section header nor holds
// "=" counts for nothing, and a header lacking its "]" still opens a section.
Content Parse(QByteArray bytes) {
  Content c;
  if (bytes.startsWith(kBom)) {
    c.bom = true;
    bytes.remove(0, 3);
  }
  for (qsizetype at = 0; at < bytes.size();) {
    qsizetype end = at;
    while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r') ++end;
    Line line;
    line.raw = bytes.mid(at, end - at);
    line.eol = LineBreakAt(bytes, end);
    if (c.lines.isEmpty() && !line.eol.isEmpty()) c.eol = line.eol;
    at = end + line.eol.size();
    const QByteArray text = line.raw.trimmed();
    const qsizetype eq = text.indexOf('=');
    if (text.startsWith('[')) {
      const qsizetype close = text.indexOf(']');
      line.kind = Line::Kind::Header;
      line.name = UnescapedName(text.mid(1, close < 0 ? -1 : close - 1).trimmed());
    } else if (eq >= 0 && !text.startsWith(';') && !text.startsWith('#') &&
               !text.startsWith(kBom)) {
      // A name behind a byte-order mark is not ours, though decoding would
      // drop the mark.
      line.kind = Line::Kind::Entry;
      line.name = UnescapedName(text.left(eq).trimmed());
      line.value = text.mid(eq + 1);
    }
    c.lines.append(line);
  }
  return c;
}

// A header line naming `name`: as it was when it already spells the name so,
// else with only the name replaced; text around the brackets stays.
QByteArray HeaderLine(const QByteArray& raw, const QString& name) {
  const QByteArray escaped = EscapedName(name);
  const qsizetype open = raw.indexOf('['), close = raw.indexOf(']', open);
  if (close >= 0 && raw.mid(open + 1, close - open - 1).trimmed() == escaped) return raw;
  return raw.left(open + 1) + escaped + ']' + (close < 0 ? QByteArray() : raw.mid(close + 1));
}

// The text of the last entry of that name in a section of that name; lines
// before any header are in "General", as Qt writes them.
const QByteArray* Lookup(const Content& c, const QString& section, const QString& entry) {
  const QByteArray* found = nullptr;
  bool inside = SameName(section, QStringLiteral("General"));
  for (const Line& line : c.lines) {
    if (line.kind == Line::Kind::Header) {
      inside = SameName(line.name, section);
    } else if (inside && line.kind == Line::Kind::Entry && SameName(line.name, entry)) {
      found = &line.value;
    }
  }
  return found;
}

template <class Changes>
QByteArray Render(const Content& c, const Changes& changes) {
  // The sections being written, each with one write per entry whatever the
  // case of its name; the last write and its spelling count.
  struct Section {
    QString name;
    QList<std::pair<QString, std::int32_t>> entries;
    qsizetype firstHeader = -1;
  };
  QList<Section> sections;
  for (const auto& change : changes) {
    auto s = std::find_if(sections.begin(), sections.end(),
                          [&](const Section& x) { return SameName(x.name, change.section); });
    if (s == sections.end()) s = sections.insert(sections.end(), Section{change.section, {}});
    s->name = change.section;
    auto e = std::find_if(s->entries.begin(), s->entries.end(),
                          [&](const auto& x) { return SameName(x.first, change.entry); });
    if (e == s->entries.end()) {
      s->entries.append({change.entry, change.value});
    } else {
      *e = {change.entry, change.value};
    }
  }
  for (Section& s : sections) std::sort(s.entries.begin(), s.entries.end());

  // The section being written that each line lies in; -1 for the others.
  QList<qsizetype> owner(c.lines.size(), -1);
  qsizetype current = -1;
  for (qsizetype i = 0; i < c.lines.size(); ++i) {
    if (c.lines[i].kind == Line::Kind::Header) {
      const auto s = std::find_if(sections.begin(), sections.end(), [&](const Section& x) {
        return SameName(x.name, c.lines[i].name);
      });
      current = s == sections.end() ? -1 : s - sections.begin();
      if (current >= 0 && s->firstHeader < 0) s->firstHeader = i;
    }
    owner[i] = current;
  }

  QByteArray out = c.bom ? kBom : "";
  std::optional<QByteArray> last;  // the line written last
  auto append = [&](const QByteArray& raw, const QByteArray& eol) {
    // An empty line's LF right after a lone CR would read as one CRLF, and
    // the line would be gone at the next read: it ends in CR as well.
    out += raw + (raw.isEmpty() && eol.startsWith('\n') && out.endsWith('\r') ? "\r" : eol);
    last = raw;
  };
  auto put = [&](const Line& line) { append(line.raw, line.eol.isEmpty() ? c.eol : line.eol); };
  // Other readers join a line ending in "\" with the next one: a blank line
  // between keeps the lines we write from being swallowed.
  auto write = [&](const QByteArray& raw) {
    if (last && last->endsWith('\\')) append({}, c.eol);
    append(raw, c.eol);
  };
  // Every part of the file with that section's name becomes one section
  // under its written name, at the place of the first: other keys, comments
  // and flawed lines stay, the written entries follow them.
  auto emitSection = [&](qsizetype k) {
    const Section& s = sections[k];
    QList<const Line*> kept;
    for (qsizetype i = 0; i < c.lines.size(); ++i) {
      const Line& line = c.lines[i];
      if (owner[i] != k || line.kind == Line::Kind::Header) continue;
      const bool rewritten =
          line.kind == Line::Kind::Entry &&
          std::any_of(s.entries.begin(), s.entries.end(),
                      [&](const auto& e) { return SameName(e.first, line.name); });
      if (!rewritten) kept.append(&line);
    }
    const QByteArray header = s.firstHeader < 0 ? '[' + EscapedName(s.name) + ']'
                                                : HeaderLine(c.lines[s.firstHeader].raw, s.name);
    // Blank lines that part sections stay last, except the one that keeps a
    // line ending in "\" apart from the entries: it stays where it is, so
    // saving again adds none.
    qsizetype body = kept.size();
    while (body > 0 && kept[body - 1]->raw.trimmed().isEmpty() &&
           !(body > 1 ? kept[body - 2]->raw : header).endsWith('\\')) {
      --body;
    }
    write(header);
    for (qsizetype j = 0; j < body; ++j) put(*kept[j]);
    for (const auto& [entry, value] : s.entries) {
      write(EscapedName(entry) + '=' + QByteArray::number(value));
    }
    for (qsizetype j = body; j < kept.size(); ++j) put(*kept[j]);
  };
  for (qsizetype i = 0; i < c.lines.size(); ++i) {
    if (owner[i] < 0) {
      put(c.lines[i]);
    } else if (sections[owner[i]].firstHeader == i) {
      emitSection(owner[i]);
    }
  }
  for (qsizetype k = 0; k < sections.size(); ++k) {
    if (sections[k].firstHeader >= 0) continue;
    if (last && !last->trimmed().isEmpty()) append({}, c.eol);
    emitSection(k);
  }
  return out;
}

}  // namespace

QByteArray SettingsStore::FileNameFor(const QString& maker, const QString& application) {
  // The XDG base directory rules; QStandardPaths would make a relative
  // XDG_CONFIG_HOME or a missing HOME into odd places, and lose bytes that
  // are no UTF-8.
  QByteArray config = qgetenv("XDG_CONFIG_HOME");
  if (!config.startsWith('/')) {
    QByteArray home = qgetenv("HOME");
    if (home.isEmpty()) {
      const passwd* user = ::getpwuid(::getuid());
      if (user && user->pw_dir) home = user->pw_dir;
    }
    if (home.isEmpty()) return {};
    config = home + (home.endsWith('/') ? ".config" : "/.config");
  }
  auto name = [](const QString& given, const QString& fallback) {
    return QFile::encodeName(given.isEmpty() ? fallback : given);
  };
  return config + '/' + name(maker, QCoreApplication::organizationName()) + '/' +
         name(application, QCoreApplication::applicationName()) + ".conf";
}

QString SettingsStore::FilePathFor(const QString& maker, const QString& application) {
  return QFile::decodeName(FileNameFor(maker, application));
}

SettingsStore::SettingsStore(QString maker, QString application)
    : path_(FileNameFor(maker, application)) {
  QByteArray bytes;
  if (!path_.isEmpty() && ReadSettingsFile(path_, bytes) == FileRead::Read) file_ = Parse(bytes);
}

SettingsStore::~SettingsStore() { Sync(); }

std::uint32_t SettingsStore::GetProfileInt(const QString& section, const QString& entry,
                                           std::uint32_t def) const {
  for (auto c = pending_.crbegin(); c != pending_.crend(); ++c) {
    if (SameName(c->section, section) && SameName(c->entry, entry)) {
      return static_cast<std::uint32_t>(c->value);
    }
  }
  std::uint32_t v = def;
  const QByteArray* text = Lookup(file_, section, entry);
  return text && ParseStored(*text, v) ? v : def;
}

std::optional<QByteArray> SettingsStore::GetProfileText(const QString& section,
                                                        const QString& entry) const {
  for (auto c = pending_.crbegin(); c != pending_.crend(); ++c) {
    if (SameName(c->section, section) && SameName(c->entry, entry)) {
      return QByteArray::number(c->value);
    }
  }
  const QByteArray* text = Lookup(file_, section, entry);
  return text ? StoredText(*text) : std::nullopt;
}

void SettingsStore::WriteProfileInt(const QString& section, const QString& entry,
                                    std::int32_t value) {
  pending_.append({section, entry, value});
}

bool SettingsStore::Sync() {
  // Tried once: a store that failed to save does not write later behind the
  // back of a caller that reported the failure.
  const QList<Change> changes = std::exchange(pending_, {});
  if (changes.isEmpty()) return true;
  error_.clear();
  auto fail = [this](const QString& why) {
    error_ = why;
    return false;
  };
  if (path_.isEmpty()) return fail(QStringLiteral("there is no home folder"));
  QString why;
  const qsizetype slash = path_.lastIndexOf('/');
  if (!MakeSettingsFolder(path_.left(slash), why)) return fail(why);
  // Read, lock and replace the one file that reading the name reads.
  const QByteArray real = RealSettingsFile(path_, why);
  if (real.isEmpty()) return fail(why);
  // Another process saving at the same time must not lose this update.
  const FileLock lock(real + ".lock", kLockWaitMs);
  if (lock.Locked()) RemoveStaleTemporaries(real);
  // Merge into the file as it is now, not as it was when this store read it.
  QByteArray old;
  const FileRead read = ReadSettingsFile(real, old, &why);
  if (read == FileRead::Unreadable) return fail(why);  // what it holds would be lost
  const QByteArray text = Render(Parse(old), changes);
  // What is already on disk needs no write.
  if (read == FileRead::Missing || text != old) {
    // The next read would refuse it, and every save after.
    if (text.size() > kMaxSettingsFileSize) {
      return fail(QStringLiteral("the file would grow beyond 4 MiB"));
    }
    if (!lock.Locked()) return fail(lock.Why());
    if (!ReplaceSettingsFile(real, text, why)) return fail(why);
  }
  file_ = Parse(text);
  return true;
}

QString SettingsStore::FilePath() const { return QFile::decodeName(path_); }

EntryValues ReadEntries(const SettingsStore& store, const QString& section,
                        DefaultColumn column) {
  EntryValues v;
  for (const EntryInfo& e : kEntries) {
    const std::uint32_t def =
        column == DefaultColumn::Dialog ? e.dialogDefault : e.particleDefault;
    v.*e.field = store.GetProfileInt(section, QString::fromLatin1(e.name.data(),
                                                                  qsizetype(e.name.size())),
                                     def);
  }
  return v;
}

bool WriteEntries(SettingsStore& store, const QString& section, const EntryValues& values) {
  for (std::string_view name : kWriteOrder) {
    const EntryInfo* e = FindEntry(name);
    store.WriteProfileInt(section, QString::fromLatin1(name.data(), qsizetype(name.size())),
                          static_cast<std::int32_t>(values.*e->field));
  }
  return store.Sync();
}

}  // namespace vz
