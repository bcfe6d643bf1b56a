#pragma once

#include <cstddef>

// What the password module and its PAM helper say to each other over the
// socket that is the helper's standard input and output, written once for
// both sides.
//
// module -> helper: the password's bytes, then kPasswordEnd, then end of
//   input. The helper refuses a password longer than kMaxPassword.
// helper -> module: exactly one byte, kAccepted or kRefused. Anything else,
//   more than one byte, or no answer at all is a refusal.
namespace vz::pam_protocol {

// The helper's file name, looked for beside the module.
inline constexpr char kHelperName[] = "vivedaziv-pam-helper";

inline constexpr char kPasswordEnd = '\0';

// Longer than any password a person types; more is not a password.
inline constexpr std::size_t kMaxPassword = 4096;

inline constexpr char kAccepted = '1';
inline constexpr char kRefused = '0';

// The whole answer is one byte: the module stops reading after this many.
inline constexpr std::size_t kAnswerSize = 1;

}  // namespace vz::pam_protocol
