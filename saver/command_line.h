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
  // The number given for the handle does not fit in 32 bits: no X window
  // has such an id, and wrapping it would name another one. Start-up fails.
  bool handleTooLarge = false;
  // The handle as written, for messages.
  std::string handleText;
};

// The line standard error gets when the command line is not understood: the
// forms and where the manual is.
inline constexpr char kUsageLine[] =
    "usage: vivedaziv [/s | /p HANDLE | /c [HANDLE] | /a HANDLE]; "
    "no argument opens the settings; see man vivedaziv\n";

// Parses the whole command line as the host passes it, program name first.
ParsedCommand ParseCommandLine(std::string_view line);

// Parses this process's arguments the same way. The program name is
// argv[0] as it is, never read for a switch; the arguments after it count
// as the rest of the line, one blank between each two.
ParsedCommand ParseArguments(int argc, const char* const* argv);

// Reads a decimal number the lenient way window handles are read: leading
// white space, one sign, digits modulo 2^32; no digits give 0.
std::uint32_t ReadDecimal(std::string_view text);

// Reads a window handle: as ReadDecimal, or in hexadecimal after "0x" (as
// xwininfo and XScreenSaver write ids). False when the number does not fit
// in 32 bits, unsigned or, with a minus sign, signed.
bool ReadHandle(std::string_view text, std::uint32_t& handle);

}  // namespace vz
