#include "delay_box.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <algorithm>
#include <climits>

namespace vz {

namespace {

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

}  // namespace

std::optional<std::int32_t> ParseDialogInt(const QString& text) {
  const qsizetype n = text.size();
  auto blank = [&](qsizetype i) { return text[i] == u' ' || text[i] == u'\t'; };
  qsizetype p = 0;
  while (p < n && blank(p)) ++p;
  const qsizetype first = p;
  bool negative = false;
  if (p < n && (text[p] == u'+' || text[p] == u'-')) negative = text[p++] == u'-';
  // Saturate at the limit of the sign.
  const std::int64_t limit = negative ? -std::int64_t{INT_MIN} : std::int64_t{INT_MAX};
  std::int64_t magnitude = 0;
  for (; p < n && IsDigit(text[p]); ++p) {
    magnitude = std::min(limit, magnitude * 10 + (text[p].unicode() - u'0'));
  }
  while (p < n && blank(p)) ++p;
  if (p != n) return std::nullopt;
  if (magnitude == 0 && !(first < n && text[first] == u'0')) return std::nullopt;
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

bool TypesNonDigits(const QKeyEvent& e) {
  const Qt::KeyboardModifiers mods = e.modifiers() & ~Qt::KeypadModifier;
  if (mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier))
    return false;
  const QString text = e.text();
  return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isPrint() && !IsDigit(c); });
}

void KeepOnlyDigits(QInputMethodEvent& input) {
  QString digits = input.commitString();
  digits.removeIf([](QChar c) { return !IsDigit(c); });
  input.setCommitString(digits, input.replacementStart(), input.replacementLength());
}

}  // namespace vz
