#include "command_line.h"

#include <string>

namespace vz {

std::uint32_t ReadDecimal(std::string_view text) {
  std::size_t p = 0;
  auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (p < text.size() && space(text[p])) ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  std::uint32_t total = 0;
  for (; p < text.size() && text[p] >= '0' && text[p] <= '9'; ++p) {
    total = total * 10u + static_cast<std::uint32_t>(text[p] - '0');
  }
  return negative ? 0u - total : total;
}

bool ReadHandle(std::string_view text, std::uint32_t& handle) {
  std::size_t p = 0;
  auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (p < text.size() && space(text[p])) ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  auto digit = [](char c, unsigned base) -> int {
    const int d = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : 99;
    return d < int(base) ? d : -1;
  };
  unsigned base = 10;
  const std::string_view prefix = text.substr(p, 2);
  if ((prefix == "0x" || prefix == "0X") && p + 2 < text.size() && digit(text[p + 2], 16) >= 0) {
    base = 16;
    p += 2;
  }
  // Counted beyond 32 bits, stopping once past them.
  std::uint64_t total = 0;
  for (int d; p < text.size() && (d = digit(text[p], base)) >= 0; ++p) {
    if (total <= 0xFFFFFFFFu) total = total * base + static_cast<std::uint64_t>(d);
  }
  if (total > (negative ? 0x80000000u : 0xFFFFFFFFu)) return false;
  handle = negative ? 0u - static_cast<std::uint32_t>(total) : static_cast<std::uint32_t>(total);
  return true;
}

namespace {

// The command line after the program name.
ParsedCommand ParseSwitches(std::string_view line) {
  const std::size_t n = line.size();
  std::size_t p = 0;
  while (p < n && line[p] == ' ') ++p;

  ParsedCommand cmd;
  if (p == n) {
    cmd.mode = Mode::Configure;
    return cmd;
  }
  if (line[p] == '-' || line[p] == '/') ++p;
  const char letter = p < n ? line[p] : '\0';
  ++p;
  auto skipSeparators = [&] {
    while (p < n && (line[p] == ' ' || line[p] == ':')) ++p;
  };
  auto readHandle = [&] {
    const std::string_view text = p < n ? line.substr(p) : std::string_view();
    cmd.handleText = std::string(text.substr(0, text.find(' ')));
    if (!ReadHandle(text, cmd.handle)) {
      cmd.handleTooLarge = true;
      cmd.mode = Mode::Fail;
    }
  };

  switch (letter) {
    case 'a':
    case 'A':
      skipSeparators();
      cmd.mode = Mode::ChangePassword;
      readHandle();
      break;
    case 'c':
    case 'C':
      skipSeparators();
      cmd.mode = Mode::Configure;
      if (p >= n) {
        cmd.useForeground = true;
      } else {
        readHandle();
      }
      break;
    case 'p':
    case 'P':
    case 'l':
    case 'L':
      skipSeparators();
      cmd.mode = Mode::Preview;
      readHandle();
      break;
    case 's':
    case 'S':
      cmd.mode = Mode::Saver;
      break;
    default:
      cmd.mode = Mode::Fail;
      break;
  }
  return cmd;
}

}  // namespace

ParsedCommand ParseCommandLine(std::string_view line) {
  const std::size_t n = line.size();
  std::size_t p = 0;
  // Skip the program name; only a blank ends an unquoted one, not a tab.
  if (n > 0 && line[0] == '"') {
    do ++p;
    while (p < n && line[p] != '"');
  } else {
    while (p < n && line[p] != ' ') ++p;
  }
  if (p < n) ++p;
  return ParseSwitches(line.substr(p));
}

ParsedCommand ParseArguments(int argc, const char* const* argv) {
  std::string rest;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) rest += ' ';
    rest += argv[i] ? argv[i] : "";
  }
  return ParseSwitches(rest);
}

}  // namespace vz
