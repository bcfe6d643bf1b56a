// The desktop's password setting, read as every other setting is.

#include <sys/stat.h>

#include "../desktop_config.h"
#include "desktop_setting.h"
#include "settings_test_support.h"

namespace vz {
namespace {

// The desktop's file under the fixture's own configuration folder.
using DesktopSettingTest = SettingsStoreTest;
using test::SetUsePassword;
using test::WriteDesktopConfig;

TEST_F(DesktopSettingTest, OnlyANonZeroWholeNumberTurnsProtectionOn) {
  struct Case {
    const char* file;
    bool enabled;
  };
  const Case cases[] = {
      {"[General]\nScreenSaveUsePassword=1\n", true},
      {"[General]\nScreenSaveUsePassword=-3\n", true},
      {"[General]\nScreenSaveUsePassword = 12 \n", true},
      {"ScreenSaveUsePassword=1\n", true},  // top level without a header
      // Names in any case, as every other setting is read.
      {"[general]\nscreensaveusepassword=1\n", true},
      {"[GENERAL]\nSCREENSAVEUSEPASSWORD=\"2\" ; on\n", true},
      {"[General]\nScreenSaveUsePassword=4294967296\n", true},
      {"[General]\nScreenSaveUsePassword=0\n", false},
      {"[General]\nScreenSaveUsePassword=00\n", false},
      {"[General]\nScreenSaveUsePassword=abc\n", false},
      {"[General]\nScreenSaveUsePassword=1abc\n", false},
      {"[General]\nScreenSaveUsePassword=1.5\n", false},
      {"[General]\nScreenSaveUsePassword=0x1\n", false},
      {"[General]\nScreenSaveUsePassword=\n", false},
      {"[General]\nScreenSaveUsePassword=1, 2\n", false},
      {"[General]\nScreenSaveUsePassword=99999999999999999999\n", false},
      {"[General]\nOtherSetting=1\n", false},
      {"[Other]\nScreenSaveUsePassword=1\n", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    WriteDesktopConfig(c.file);
    EXPECT_EQ(ScreenSaverPasswordEnabled(), c.enabled);
  }
  WriteDesktopConfig(QByteArray());
  EXPECT_FALSE(ScreenSaverPasswordEnabled()) << "no file";
}

TEST_F(DesktopSettingTest, ReadsTheFileUnderXdgConfigHome) {
  const QString path = dir_.path() + QStringLiteral("/Control Panel/Desktop.conf");
  SetUsePassword("1");
  ASSERT_TRUE(QFile::exists(path));
  EXPECT_TRUE(ScreenSaverPasswordEnabled());
  // A change made while the saver runs counts at the next close.
  SetUsePassword("0");
  EXPECT_FALSE(ScreenSaverPasswordEnabled());
  SetUsePassword("1");
  EXPECT_TRUE(ScreenSaverPasswordEnabled());
  // A FIFO in its place is no setting, and must not block the close.
  ASSERT_TRUE(QFile::remove(path));
  ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
  EXPECT_FALSE(ScreenSaverPasswordEnabled());
  QFile::remove(path);
}

}  // namespace
}  // namespace vz
