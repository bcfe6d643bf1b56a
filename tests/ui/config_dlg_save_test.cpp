#include "config_dlg_test_support.h"

namespace vz {
namespace {

TEST_F(ConfigDlgTest, OkOnAnEmptyStoreWritesTheDialogDefaults) {
  Run([](CConfigDlg& d) {
    EXPECT_EQ(Item<QLineEdit>(d, kDelay)->text(), "1");
    EXPECT_EQ(d.preview.CurrentIntervalMs(), 50) << "the preview has its own default";
    Click(d, kOk);
  });
  EXPECT_EQ(File(), Expected(DialogDefaults()));
  EXPECT_FALSE(QApplication::windowIcon().isNull());
}

TEST_F(ConfigDlgTest, CancelWritesLoadedBoxesButTheLatestSlidersMassAndFriction) {
  Store({{"GravityVal", 0}, {"Planet", 2}, {"Bounce", 2}, {"DelayTime", 7}});
  EntryValues expected = DialogDefaults();
  expected.DelayTime = 7;
  expected.GravityVal = 0;  // shown as 1, yet untouched
  Run([](CConfigDlg& d) { Click(d, kCancel); });
  EXPECT_EQ(File(), Expected(expected)) << "a stored 2 becomes 0";

  Run([](CConfigDlg& d) {
    QTest::keyClick(d.GetDlgItem(kParticles), Qt::Key_End);
    Click(d, kRandom);
    Click(d, kFriction);
    Click(d, kShowAll);
    TypeDelay(d, "9");
    QTest::keyClick(d.GetDlgItem(kDelay), Qt::Key_Escape);
  });
  expected.NumParticles = 100;
  expected.RandomMass = 1;
  expected.SingleMass = 0;
  expected.Friction = 0;
  EXPECT_EQ(File(), Expected(expected));
}

TEST_F(ConfigDlgTest, CancelAfterARefusedOkWritesWhatThatOkTook) {
  Store({{"GravityVal", 0}});
  Run([](CConfigDlg& d) {
    Click(d, kPlanet);
    TypeDelay(d, "250");
    QTest::keyClick(d.GetDlgItem(kDelay), Qt::Key_Tab);
    EXPECT_EQ(d.preview.CurrentIntervalMs(), 250);
    RefusedOk(d);
    Item<QLineEdit>(d, kDelay)->clear();
    RefusedOk(d);
    Click(d, kBounce);  // after the last refused OK: not taken
    Click(d, kCancel);
  });
  EntryValues expected = DialogDefaults();
  expected.DelayTime = 250;
  expected.Planet = 1;
  expected.GravityVal = 1;  // OK read the slider, clamped
  EXPECT_EQ(File(), Expected(expected));
}

TEST_F(ConfigDlgTest, OkWritesEveryControlsFinalValue) {
  Store({{"GravityVal", 0}, {"MuVal", 1}, {"ShowAll", 2}});
  Run([](CConfigDlg& d) {
    for (int id : {kPlanet, kBounce, kEvenOdd, kBorders, kEvenOddMass}) Click(d, id);
    QTest::keyClick(d.GetDlgItem(kGravity), Qt::Key_PageDown);
    TypeDelay(d, "0");
    Click(d, kOk);
  });
  EntryValues expected = DialogDefaults();
  expected.Planet = expected.Bounce = 1;
  expected.EvenOdd = expected.Borders = expected.ShowAll = 0;
  expected.EvenOddMass = 1;
  expected.SingleMass = 0;
  expected.GravityVal = 8;
  expected.MuVal = 9500;
  expected.DelayTime = 0;
  EXPECT_EQ(File(), Expected(expected));
}

// The user sees why, with the system's reason, and may try again once the
// cause is gone; stderr says it too.
TEST_F(ConfigDlgTest, ASettingsFileThatCannotBeWrittenIsReported) {
  // A directory where the file should be: unwritable even for root.
  const QString path = dir_.path() + "/Quenfold/" + Section() + ".conf";
  ASSERT_TRUE(QDir().mkpath(path));
  ::testing::internal::CaptureStderr();
  QString told;
  Run([&](CConfigDlg& d) {
    WhenModal(&d, [&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      told = box->text();
      ASSERT_TRUE(QDir().rmdir(path));
      box->button(QMessageBox::Retry)->click();
    });
    Click(d, kOk);
  });
  EXPECT_EQ(told, "The settings could not be saved to " + path + ":\nIs a directory.");
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(QString::fromStdString(err).count("could not save the settings"), 1) << err;
  EXPECT_EQ(File(), Expected(DialogDefaults())) << "saved when tried again";
}

}  // namespace
}  // namespace vz
