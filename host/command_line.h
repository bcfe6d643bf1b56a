#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vz {

enum class Mode { Configure, Preview, Saver, ChangePassword, Fail };

struct ParsedCommand {
  Mode mode = Mode::Fail;
  // Window handle from the command line; 0 when none or unreadable.
  std::uint32_t handle = 0;
  // Configure mode: "/c" with nothing after it means the foreground window.
  bool useForeground = false;
};

// The line standard error gets when the command line is not understood: the
// forms and where the manual is.
inline constexpr char kUsageLine[] =
    "usage: vivedaziv [/s | /p HANDLE | /c [HANDLE] | /a HANDLE]; "
    "no argument opens the settings; see man vivedaziv\n";

// Parses the whole command line as the host passes it, program name first.
ParsedCommand ParseCommandLine(std::string_view line);

// Reads a decimal number the lenient way window handles are read: leading
// white space, one sign, digits modulo 2^32; no digits give 0.
std::uint32_t ReadDecimal(std::string_view text);

// The command line of this process: the program name, quoted when it holds
// a blank, then the other arguments joined by single blanks.
std::string JoinCommandLine(int argc, const char* const* argv);

}  // namespace vz
