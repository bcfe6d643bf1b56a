#include <gtest/gtest.h>

#include <vector>

#include "command_line.h"

namespace vz {
namespace {

ParsedCommand P(const char* line) { return ParseCommandLine(line); }

TEST(CommandLine, SaverSpellings) {
  for (const char* line : {"vz /s", "vz /S", "vz -s", "vz s", "vz /save", "vz   /s",
                           "\"C:\\My Savers\\vz.scr\" /s", "\"my saver\"/s"}) {
    EXPECT_EQ(P(line).mode, Mode::Saver) << line;
  }
}

TEST(CommandLine, PreviewTakesTheHandleInEveryForm) {
  for (const char* line : {"vz /p 1234", "vz /p:1234", "vz /l1234", "vz -P : 1234",
                           "vz L::  1234xyz", "vz /p\t1234"}) {
    const ParsedCommand c = P(line);
    EXPECT_EQ(c.mode, Mode::Preview) << line;
    EXPECT_EQ(c.handle, 1234u) << line;
  }
  EXPECT_EQ(P("vz /p").handle, 0u);
  EXPECT_EQ(P("vz /p 4294967295").handle, 4294967295u);
  EXPECT_EQ(P("vz /p -1").handle, 4294967295u);
}

TEST(CommandLine, ConfigureForms) {
  ParsedCommand c = P("vz");
  EXPECT_EQ(c.mode, Mode::Configure);
  EXPECT_FALSE(c.useForeground);
  c = P("vz   ");
  EXPECT_EQ(c.mode, Mode::Configure);
  EXPECT_FALSE(c.useForeground);
  for (const char* line : {"vz /c", "vz /C ", "vz -c:", "vz c : "}) {
    c = P(line);
    EXPECT_EQ(c.mode, Mode::Configure) << line;
    EXPECT_TRUE(c.useForeground) << line;
  }
  c = P("vz /c:777");
  EXPECT_FALSE(c.useForeground);
  EXPECT_EQ(c.handle, 777u);
  c = P("vz /config");
  EXPECT_EQ(c.mode, Mode::Configure);
  EXPECT_FALSE(c.useForeground) << "text after the letter reads as handle 0";
  EXPECT_EQ(c.handle, 0u);
}

TEST(CommandLine, PasswordChange) {
  const ParsedCommand c = P("vz /a 99");
  EXPECT_EQ(c.mode, Mode::ChangePassword);
  EXPECT_EQ(c.handle, 99u);
  EXPECT_EQ(P("vz -A").handle, 0u);
}

TEST(CommandLine, UnknownSwitchesFail) {
  for (const char* line : {"vz /x", "vz /", "vz -", "vz /?", "vz 5", "\"vz\"\t/s", "vz \t/s",
                           "vz \xff"}) {
    EXPECT_EQ(P(line).mode, Mode::Fail) << line;
  }
}

TEST(CommandLine, TabsAreNoSeparator) {
  // An unquoted name runs to the first blank, tabs included.
  EXPECT_EQ(P("vz\t/s").mode, Mode::Configure);
  EXPECT_FALSE(P("vz\t/s").useForeground);
  EXPECT_EQ(P("vz\t/x /s").mode, Mode::Saver);
  EXPECT_EQ(P("\"unterminated /s").mode, Mode::Configure);
}

TEST(CommandLine, ReadDecimal) {
  EXPECT_EQ(ReadDecimal(""), 0u);
  EXPECT_EQ(ReadDecimal("  \t42abc"), 42u);
  EXPECT_EQ(ReadDecimal("+7"), 7u);
  EXPECT_EQ(ReadDecimal("-"), 0u);
  EXPECT_EQ(ReadDecimal("--5"), 0u);
  EXPECT_EQ(ReadDecimal("99999999999999999999"), 1661992959u) << "modulo 2^32";
}

// The program's own arguments: the name is never read for a switch, the
// arguments follow one another as on a host's line.
TEST(CommandLine, ArgumentsAreTakenAsGiven) {
  auto args = [](std::initializer_list<const char*> list) {
    const std::vector<const char*> v(list);
    return ParseArguments(int(v.size()), v.data());
  };
  EXPECT_EQ(args({"/usr/bin/vivedaziv", "/p", "12"}).handle, 12u);
  EXPECT_EQ(args({"/opt/my savers/vivedaziv", "/s"}).mode, Mode::Saver);
  EXPECT_EQ(args({"\"quoted /s", "/p:7"}).mode, Mode::Preview);
  EXPECT_EQ(args({"\"quoted /s", "/p:7"}).handle, 7u);
  const ParsedCommand alone = args({"\"vivedaziv"});
  EXPECT_EQ(alone.mode, Mode::Configure);
  EXPECT_FALSE(alone.useForeground);
  EXPECT_EQ(args({"vivedaziv", "-c", ""}).useForeground, true);
  EXPECT_EQ(args({"vivedaziv", "\t/s"}).mode, Mode::Fail);
}

// Ids as xwininfo prints them, in hexadecimal, and ids that fit in no X
// window id, which used to wrap onto another window.
TEST(CommandLine, HandlesInHexAndBeyond32Bits) {
  for (const char* line : {"vz /p 0x50d", "vz /p:0X50D", "vz /l0x50dz", "vz /p 1293"}) {
    EXPECT_EQ(P(line).mode, Mode::Preview) << line;
    EXPECT_EQ(P(line).handle, 0x50Du) << line;
  }
  EXPECT_EQ(P("vz /c 0xffffffff").handle, 0xFFFFFFFFu);
  EXPECT_EQ(P("vz /a 0x1f").handle, 31u);
  EXPECT_EQ(P("vz /p 0x").handle, 0u) << "no hex digit: the 0 alone";
  EXPECT_EQ(P("vz /p -2147483648").handle, 0x80000000u);
  for (const char* line : {"vz /p 4294967296", "vz /p 0x100000000", "vz /c 99999999999999999999",
                           "vz /a -2147483649", "vz /l 0x1000000000000000000000005"}) {
    EXPECT_EQ(P(line).mode, Mode::Fail) << line;
    EXPECT_TRUE(P(line).handleTooLarge) << line;
  }
  EXPECT_FALSE(P("vz /x 99999999999").handleTooLarge);
}

}  // namespace
}  // namespace vz
