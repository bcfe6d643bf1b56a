#pragma once

#include <QString>
#include <cstdint>
#include <optional>

class QInputMethodEvent;
class QKeyEvent;

namespace vz {

// The delay box takes digits only, typed or committed by an input method;
// pasting is not typing and is left alone.

// The delay as OK reads it, the whole text: blanks and tabs, a decimal
// integer with an optional sign (saturating at the 32-bit limits), then only
// blanks and tabs. A 0 counts only when the number's first character is the
// digit 0, so an empty box or a lone sign is no integer.
std::optional<std::int32_t> ParseDialogInt(const QString& text);

// Whether a key press would insert text other than digits into a line
// edit. Control alone or with Shift inserts nothing; every other modifier,
// Alt and Super included, lets the key's text through.
bool TypesNonDigits(const QKeyEvent& e);

// Drops everything but digits from what an input method commits.
void KeepOnlyDigits(QInputMethodEvent& input);

}  // namespace vz
