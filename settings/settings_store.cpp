#include "settings_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QSettings>
#include <algorithm>

#include "entry_table.h"

namespace vz {

namespace {

using Line = SettingsStore::Line;
using Content = SettingsStore::Content;

constexpr char kBom[] = "\xEF\xBB\xBF";

bool SameName(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool InRange(qlonglong n, std::uint32_t& out) {
  if (n < -2147483648LL || n > 4294967295LL) return false;
  out = static_cast<std::uint32_t>(n);
  return true;
}

// The text after "=" as a number: quotes are dropped, a ";" outside them
// starts a comment; a "," outside them makes a list and a "\" an escape,
// neither of which is a number.
bool ParseStored(const QByteArray& raw, std::uint32_t& out) {
  QByteArray text;
  bool quoted = false;
  for (const char c : raw) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ';' && !quoted) {
      break;
    } else if ((c == ',' && !quoted) || c == '\\') {
      return false;
    } else {
      text += c;
    }
  }
  bool ok = false;
  const qlonglong n = text.trimmed().toLongLong(&ok, 10);
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

// Reads past every flaw: a line that is neither a section header nor holds
// "=" counts for nothing, and a header lacking its "]" still opens a section.
Content Parse(QByteArray bytes) {
  Content c;
  if (bytes.startsWith(kBom)) {
    c.bom = true;
    bytes.remove(0, 3);
  }
  if (bytes.endsWith('\n')) bytes.chop(1);
  if (bytes.isEmpty()) return c;
  for (const QByteArray& raw : bytes.split('\n')) {
    Line line;
    line.raw = raw;
    const QByteArray text = raw.trimmed();
    const qsizetype eq = text.indexOf('=');
    if (text.startsWith('[')) {
      const qsizetype end = text.indexOf(']');
      line.kind = Line::Kind::Header;
      line.name = UnescapedName(text.mid(1, end < 0 ? -1 : end - 1).trimmed());
    } else if (eq >= 0 && !text.startsWith(';') && !text.startsWith('#')) {
      line.kind = Line::Kind::Entry;
      line.name = UnescapedName(text.left(eq).trimmed());
      line.value = text.mid(eq + 1);
    }
    c.lines.append(line);
  }
  return c;
}

// The text of the last entry of that name in a section of that name.
const QByteArray* Lookup(const Content& c, const QString& section, const QString& entry) {
  const QByteArray* found = nullptr;
  bool inside = false;
  for (const Line& line : c.lines) {
    if (line.kind == Line::Kind::Header) {
      inside = SameName(line.name, section);
    } else if (inside && line.kind == Line::Kind::Entry && SameName(line.name, entry)) {
      found = &line.value;
    }
  }
  return found;
}

// False when the file exists but cannot be read: what it holds would be lost.
bool ReadExisting(const QString& path, QByteArray& bytes, bool& exists) {
  const QFileInfo info(path);
  exists = info.exists();
  if (!exists) return true;
  if (info.isDir()) return false;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return false;
  bytes = f.readAll();
  return f.error() == QFileDevice::NoError;
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
  const qsizetype start = out.size();
  // Every part of the file with that section's name becomes one section
  // under its written name, at the place of the first: other keys, comments
  // and flawed lines stay, the written entries follow them.
  auto emitSection = [&](qsizetype k) {
    const Section& s = sections[k];
    QList<QByteArray> kept;
    for (qsizetype i = 0; i < c.lines.size(); ++i) {
      const Line& line = c.lines[i];
      if (owner[i] != k || line.kind == Line::Kind::Header) continue;
      const bool rewritten =
          line.kind == Line::Kind::Entry &&
          std::any_of(s.entries.begin(), s.entries.end(),
                      [&](const auto& e) { return SameName(e.first, line.name); });
      if (!rewritten) kept.append(line.raw);
    }
    qsizetype body = kept.size();  // blank lines that part sections stay last
    while (body > 0 && kept[body - 1].trimmed().isEmpty()) --body;
    out += '[' + EscapedName(s.name) + "]\n";
    for (qsizetype j = 0; j < body; ++j) out += kept[j] + '\n';
    for (const auto& [entry, value] : s.entries) {
      out += EscapedName(entry) + '=' + QByteArray::number(value) + '\n';
    }
    for (qsizetype j = body; j < kept.size(); ++j) out += kept[j] + '\n';
  };
  for (qsizetype i = 0; i < c.lines.size(); ++i) {
    if (owner[i] < 0) {
      out += c.lines[i].raw + '\n';
    } else if (sections[owner[i]].firstHeader == i) {
      emitSection(owner[i]);
    }
  }
  for (qsizetype k = 0; k < sections.size(); ++k) {
    if (sections[k].firstHeader >= 0) continue;
    if (out.size() > start && !out.endsWith("\n\n")) out += '\n';
    emitSection(k);
  }
  return out;
}

}  // namespace

SettingsStore::SettingsStore(QString maker, QString application) {
  // QSettings only names the file, so that its search path (and any path a
  // caller set with QSettings::setPath) still decides where the file lies.
  path_ = QSettings(QSettings::NativeFormat, QSettings::UserScope,
                    maker.isEmpty() ? QCoreApplication::organizationName() : maker,
                    application.isEmpty() ? QCoreApplication::applicationName() : application)
              .fileName();
  QByteArray bytes;
  bool exists = false;
  if (ReadExisting(path_, bytes, exists)) file_ = Parse(bytes);
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

void SettingsStore::WriteProfileInt(const QString& section, const QString& entry,
                                    std::int32_t value) {
  pending_.append({section, entry, value});
}

bool SettingsStore::Sync() {
  if (pending_.isEmpty()) return true;
  if (!QDir().mkpath(QFileInfo(path_).absolutePath())) return false;
  // Another process saving at the same time must not lose this update.
  QLockFile lock(path_ + ".lock");
  const bool locked = lock.tryLock(5000);
  // Merge into the file as it is now, not as it was when this store read it.
  QByteArray old;
  bool exists = false;
  if (!ReadExisting(path_, old, exists)) return false;
  const QByteArray text = Render(Parse(old), pending_);
  if (!exists || text != old) {  // what is already on disk needs no write
    if (!locked) return false;
    QSaveFile out(path_);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
      return false;  // the unfinished copy is dropped; the file keeps its bytes
    }
  }
  file_ = Parse(text);
  pending_.clear();
  return true;
}

QString SettingsStore::FilePath() const { return path_; }

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
