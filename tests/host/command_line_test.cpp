#include <gtest/gtest.h>

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
  EXPECT_EQ(P("vz /p 4294967296").handle, 0u) << "digits accumulate modulo 2^32";
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

TEST(CommandLine, JoinQuotesANameWithBlanks) {
  const char* plain[] = {"/usr/bin/vivedaziv", "/p", "12"};
  EXPECT_EQ(JoinCommandLine(3, plain), "/usr/bin/vivedaziv /p 12");
  const char* blank[] = {"/opt/my savers/vivedaziv", "/s"};
  EXPECT_EQ(JoinCommandLine(2, blank), "\"/opt/my savers/vivedaziv\" /s");
  EXPECT_EQ(ParseCommandLine(JoinCommandLine(2, blank)).mode, Mode::Saver);
  const char* alone[] = {"vivedaziv"};
  EXPECT_EQ(ParseCommandLine(JoinCommandLine(1, alone)).mode, Mode::Configure);
}

}  // namespace
}  // namespace vz
