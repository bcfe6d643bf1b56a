#include "command_line.h"

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
  auto rest = [&] { return p < n ? line.substr(p) : std::string_view(); };

  switch (letter) {
    case 'a':
    case 'A':
      skipSeparators();
      cmd.mode = Mode::ChangePassword;
      cmd.handle = ReadDecimal(rest());
      break;
    case 'c':
    case 'C':
      skipSeparators();
      cmd.mode = Mode::Configure;
      if (p >= n) {
        cmd.useForeground = true;
      } else {
        cmd.handle = ReadDecimal(rest());
      }
      break;
    case 'p':
    case 'P':
    case 'l':
    case 'L':
      skipSeparators();
      cmd.mode = Mode::Preview;
      cmd.handle = ReadDecimal(rest());
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

std::string JoinCommandLine(int argc, const char* const* argv) {
  std::string line;
  const std::string_view name = argc > 0 && argv[0] ? argv[0] : "vivedaziv";
  if (name.find(' ') != std::string_view::npos) {
    line.append("\"").append(name).append("\"");
  } else {
    line.append(name);
  }
  for (int i = 1; i < argc; ++i) line.append(" ").append(argv[i] ? argv[i] : "");
  return line;
}

}  // namespace vz
