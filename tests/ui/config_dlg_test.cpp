#include "config_dlg_test_support.h"

namespace vz {
namespace {

TEST_F(ConfigDlgTest, FormFollowsTheTemplateInTheDialogFont) {
  auto d = Open();
  EXPECT_EQ(d->windowTitle(), "Glimmerfall 2.10 Configurator");
  EXPECT_EQ(d->font().pointSize(), 8);
  EXPECT_FALSE(QFontInfo(d->font()).italic());
  // Positions count from inside the sunken client edge.
  const DialogUnits u(d->font());
  auto at = [&](int x, int y, int w, int h) {
    return u.Map(x, y, w, h).translated(kClientEdge, kClientEdge);
  };
  EXPECT_EQ(d->size(), u.Map(287, 179) + 2 * QSize(kClientEdge, kClientEdge));
  EXPECT_EQ(d->GetDlgItem(kFriction)->geometry(), at(129, 31, 50, 13));
  EXPECT_EQ(d->GetDlgItem(kRandom)->geometry(), at(189, 148, 87, 18));
  EXPECT_EQ(Item<QAbstractButton>(*d, kAbout)->text(), "About...");
  EXPECT_EQ(d->preview.parentWidget(), d.get());
  EXPECT_EQ(d->preview.geometry(), d->GetDlgItem(kPreview)->geometry());
  EXPECT_EQ(d->preview.geometry(), at(88, 55, 113, 78));
  // OK looks the default button; Enter is swallowed all the same (below).
  for (auto* b : d->findChildren<QPushButton*>()) {
    EXPECT_EQ(b->isDefault(), b == d->GetDlgItem(kOk));
    EXPECT_FALSE(b->autoDefault());
  }

  // Focus starts at the first tab stop; Tab walks the template order and
  // enters the mass group at its checked button.
  EXPECT_EQ(QApplication::focusWidget(), d->GetDlgItem(kPlanet));
  std::vector<int> order;
  for (int i = 0; i < 14; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    order.push_back(QApplication::focusWidget()->property(kControlIdProperty).toInt());
  }
  EXPECT_EQ(order, (std::vector<int>{kFriction, kEvenOdd, kShowAll, kBounce, kBorders, kSingle, kOk,
                                     kCancel, kAbout, kDelay, kGravity, kMu, kParticles, kPlanet}));
}

TEST_F(ConfigDlgTest, ControlsShowTheStoreClampedWhileThePreviewUsesItAsIs) {
  Store({{"GravityVal", 0},
         {"MuVal", 20000},
         {"NumParticles", 500},
         {"Friction", 0},
         {"DelayTime", 37},
         {"RandomMass", 1},
         {"EvenOddMass", 1},
         {"ShowAll", 2}});
  auto d = Open();
  auto setup = [&](int id) {
    auto* s = Item<QSlider>(*d, id);
    return std::vector{s->minimum(),
                       s->maximum(),
                       s->value(),
                       s->tickInterval(),
                       int(s->tickPosition() == QSlider::TicksAbove),
                       int(s->isEnabled())};
  };
  EXPECT_EQ(setup(kGravity), (std::vector{1, 40, 1, 4, 1, 1}));
  EXPECT_EQ(setup(kMu), (std::vector{9500, 10000, 10000, 50, 1, 0})) << "friction is off";
  EXPECT_EQ(setup(kParticles), (std::vector{2, 100, 100, 10, 1, 1}));
  EXPECT_EQ(Item<QLineEdit>(*d, kDelay)->text(), "37");
  EXPECT_TRUE(Item<QRadioButton>(*d, kRandom)->isChecked()) << "Random wins in the dialog";
  EXPECT_FALSE(Item<QCheckBox>(*d, kShowAll)->isChecked()) << "a stored 2 is off";
  EXPECT_EQ(d->GravityVal, 0) << "the field waits for OK";
  EXPECT_EQ(d->preview.field.count, 500);
  EXPECT_EQ(d->preview.field.params.gravity, 0.0);
  EXPECT_EQ(d->preview.CurrentIntervalMs(), 37);
}

TEST_F(ConfigDlgTest, CheckBoxesRestartThePreviewAndReachTheFieldsOnlyAtOk) {
  auto d = Open();
  const std::pair<int, std::int32_t SimParams::*> boxes[] = {{kShowAll, &SimParams::showAll},
                                                             {kPlanet, &SimParams::planet},
                                                             {kBorders, &SimParams::borders},
                                                             {kEvenOdd, &SimParams::evenOdd},
                                                             {kBounce, &SimParams::bounce}};
  for (auto [id, param] : boxes) {
    const std::int32_t before = d->preview.field.params.*param;
    EXPECT_TRUE(Restarts(*d, [&] { Click(*d, id); })) << id;
    EXPECT_EQ(d->preview.field.params.*param, 1 - before) << id;
  }
  EXPECT_EQ(std::make_tuple(d->ShowAll, d->Planet, d->Borders, d->EvenOdd, d->Bounce),
            std::make_tuple(1, 0, 1, 1, 0))
      << "as loaded until OK";

  // Friction follows at once and gates its slider.
  EXPECT_TRUE(Restarts(*d, [&] { Click(*d, kFriction); }));
  EXPECT_EQ(d->Friction, 0);
  EXPECT_EQ(d->preview.field.params.friction, 0);
  EXPECT_FALSE(d->GetDlgItem(kMu)->isEnabled());
  Click(*d, kFriction);
  EXPECT_TRUE(d->GetDlgItem(kMu)->isEnabled());

  Click(*d, kOk);
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(std::make_tuple(d->ShowAll, d->Planet, d->Borders, d->EvenOdd, d->Bounce, d->Friction),
            std::make_tuple(0, 1, 0, 0, 1, 1));
}

TEST_F(ConfigDlgTest, MassSchemeAndSlidersSetFieldsAndPreviewAtOnce) {
  auto d = Open();
  const SimParams& p = d->preview.field.params;
  auto scheme = [&] {
    return std::vector{d->RandomMass, d->SingleMass, d->EvenOddMass,
                       p.randomMass,  p.singleMass,  p.evenOddMass};
  };
  EXPECT_TRUE(Restarts(*d, [&] { Click(*d, kRandom); }));
  EXPECT_EQ(scheme(), (std::vector{1, 0, 0, 1, 0, 0}));
  Click(*d, kEvenOddMass);
  EXPECT_EQ(scheme(), (std::vector{0, 0, 1, 0, 0, 1}));
  EXPECT_TRUE(Restarts(*d, [&] { Click(*d, kEvenOddMass); })) << "clicking the checked one too";

  EXPECT_TRUE(Restarts(*d, [&] { QTest::keyClick(d->GetDlgItem(kGravity), Qt::Key_Right); }));
  EXPECT_EQ(d->GravityVal, 31);
  EXPECT_EQ(p.gravity, 31 * 0.1);
  QTest::keyClick(d->GetDlgItem(kMu), Qt::Key_Home);
  EXPECT_EQ(d->MuVal, 9500);
  EXPECT_EQ(p.mu, 9500 * 0.0001);
  // Page Up goes a fifth of the range towards the minimum.
  QTest::keyClick(d->GetDlgItem(kParticles), Qt::Key_PageUp);
  EXPECT_EQ(d->NumParticles, 31);
  EXPECT_EQ(d->preview.field.count, 31);
  EXPECT_TRUE(QTest::qWaitFor([&] { return d->preview.field.arraySize == 31; }))
      << "restarted with the new number at once";
}

TEST_F(ConfigDlgTest, SlidersMoveAndPageAsTrackBarsWithEveryTickDrawnAlike) {
  auto d = Open();
  std::vector<int> gravity;  // 1 to 40 from 30: a page is 7
  for (Qt::Key key : {Qt::Key_Left, Qt::Key_Up, Qt::Key_Right, Qt::Key_Down, Qt::Key_PageUp,
                      Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End}) {
    QTest::keyClick(d->GetDlgItem(kGravity), key);
    gravity.push_back(d->GravityVal);
  }
  EXPECT_EQ(gravity, (std::vector{29, 28, 29, 30, 23, 30, 1, 40}));

  // A click beside the thumb pages towards it; held, it pages on until the
  // thumb lies under the pointer.
  auto* particles = Item<QSlider>(*d, kParticles);  // 2 to 100 at 50: a page is 19
  const int middle = particles->height() / 2;
  QTest::mouseClick(particles, Qt::LeftButton, {}, QPoint(particles->width() - 6, middle));
  EXPECT_EQ(d->NumParticles, 69);
  EXPECT_EQ(d->preview.field.count, 69);
  QTest::keyClick(particles, Qt::Key_Home);
  QTest::mousePress(particles, Qt::LeftButton, {}, QPoint(particles->width() / 2, middle));
  QTest::qWait(1500);
  QTest::mouseRelease(particles, Qt::LeftButton, {}, QPoint(particles->width() / 2, middle));
  EXPECT_GE(d->NumParticles, 40) << "repeats";
  EXPECT_LE(d->NumParticles, 80) << "stops under the pointer";

  // Ticks: every interval from the minimum, and both ends, in one ink
  // whether the slider is enabled or not (friction off disables its own).
  Click(*d, kFriction);
  for (int id : {kGravity, kMu, kParticles}) {
    QWidget* slider = d->GetDlgItem(id);
    const QImage image = slider->grab().toImage();
    const QRgb ink = slider->palette().color(QPalette::Active, QPalette::WindowText).rgb();
    int ticks = 0;
    for (int x = kModalFrame + 1, y = kModalFrame + 3; x < image.width() - kModalFrame - 1; ++x)
      ticks += image.pixel(x, y) == ink && image.pixel(x - 1, y) != ink;
    EXPECT_EQ(ticks, 11) << id;
  }
}

TEST_F(ConfigDlgTest, DelayBoxTakesNoLetterWhateverIsHeldAndItsMenuIsNoFocusLoss) {
  auto d = Open();
  auto* edit = Item<QLineEdit>(*d, kDelay);
  TypeDelay(*d, "25");
  for (Qt::KeyboardModifiers held : {Qt::KeyboardModifiers(Qt::AltModifier),
                                     {Qt::MetaModifier},
                                     {Qt::ShiftModifier},
                                     Qt::AltModifier | Qt::ControlModifier}) {
    QTest::keyClick(edit, Qt::Key_A, held);
  }
  EXPECT_EQ(edit->text(), "25");
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(edit->selectedText(), "25") << "a shortcut that types nothing passes";

  const std::int32_t delay = d->preview.field.params.delay;
  QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(5, 5),
                         edit->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(edit, &menu);
  ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }));
  QApplication::activePopupWidget()->close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == edit; }));
  EXPECT_EQ(d->preview.field.params.delay, delay) << "the menu took the focus only for a while";
  QTest::keyClick(edit, Qt::Key_Tab);
  EXPECT_EQ(d->preview.field.params.delay, 25);
}

TEST_F(ConfigDlgTest, DelayBoxTakesDigitsAndActsWhenItLosesTheFocus) {
  auto d = Open();
  auto* edit = Item<QLineEdit>(*d, kDelay);
  EXPECT_EQ(edit->text(), "1");
  TypeDelay(*d, "2a-5 0.");
  EXPECT_EQ(edit->text(), "250");
  EXPECT_TRUE(Restarts(*d, [&] { QTest::keyClick(edit, Qt::Key_Tab); }));
  EXPECT_EQ(d->preview.field.params.delay, 250);
  EXPECT_EQ(d->preview.CurrentIntervalMs(), 250);
  EXPECT_EQ(d->DelayTime, 1) << "the field waits for OK";

  // Converted as start-up reads numbers: leading blanks, a sign, digits.
  edit->setText(" -7x");
  edit->setFocus();
  d->GetDlgItem(kPlanet)->setFocus();
  EXPECT_EQ(d->preview.field.params.delay, -7);
  EXPECT_EQ(d->preview.CurrentIntervalMs(), INT_MAX);
}

TEST_F(ConfigDlgTest, EnterGoesNowhereAndEscapeCancels) {
  auto d = Open();
  auto* edit = Item<QLineEdit>(*d, kDelay);
  TypeDelay(*d, "7");
  const std::int32_t delayBefore = d->preview.field.params.delay;
  QTest::keyClick(edit, Qt::Key_Return);
  QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(QApplication::focusWidget(), edit);
  EXPECT_EQ(d->preview.field.params.delay, delayBefore) << "no focus change, no delay change";
  d->GetDlgItem(kOk)->setFocus();
  QTest::keyClick(d->GetDlgItem(kOk), Qt::Key_Return);
  auto* planet = Item<QCheckBox>(*d, kPlanet);
  QTest::keyClick(planet, Qt::Key_Return);
  EXPECT_FALSE(planet->isChecked());
  EXPECT_TRUE(d->isVisible());
  EXPECT_EQ(d->result(), 0);
  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_FALSE(d->isVisible());
  EXPECT_EQ(d->result(), QDialog::Rejected);
}

TEST_F(ConfigDlgTest, OkRefusesADelayThatIsNoIntegerFrom0To100) {
  auto d = Open();
  const QString notInteger = "Please enter an integer.";
  const QString outOfRange = "Please enter an integer between 0 and 100.";
  auto* edit = Item<QLineEdit>(*d, kDelay);
  Click(*d, kPlanet);
  TypeDelay(*d, "250");
  EXPECT_EQ(RefusedOk(*d), outOfRange);
  EXPECT_EQ(d->DelayTime, 250) << "an integer out of range is taken";
  EXPECT_EQ(d->Planet, 1) << "the check boxes were taken";
  for (const char* text : {"", "-", "-0", "5 5"}) {
    edit->setText(text);
    EXPECT_EQ(RefusedOk(*d), notInteger) << text;
  }
  EXPECT_EQ(d->DelayTime, 250) << "no integer leaves the field alone";
  edit->setText("-1");
  EXPECT_EQ(RefusedOk(*d), outOfRange);
  edit->setText(" 100\t");
  Click(*d, kOk);
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(d->DelayTime, 100);
}

TEST(ParseDialogIntTest, ReadsTheBoxAsOkDoes) {
  const std::pair<QString, std::optional<std::int32_t>> cases[] = {
      {"0", 0},
      {"007", 7},
      {" \t+42 \t", 42},
      {"-2147483648", INT_MIN},
      {"2147483648", INT_MAX},
      {"-99999999999", INT_MIN},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"+0", std::nullopt},
      {"12x", std::nullopt},
      {"\n5", std::nullopt},
      {"1 2", std::nullopt},
      // The whole text counts, however long.
      {QString(31, '0') + "50", 50},
      {"12" + QString(29, ' ') + "x", std::nullopt},
      {QString(40, '9'), INT_MAX}};
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(ParseDialogInt(text), expected) << text.toStdString();
}

TEST(PlaceDialogTest, CentresOverTheOwnerAndStaysInTheWorkArea) {
  const QRect work(0, 30, 800, 570);
  EXPECT_EQ(PlaceDialog({200, 100}, std::nullopt, work), QPoint(300, 265));
  EXPECT_EQ(PlaceDialog({200, 100}, QRect(100, 100, 300, 200), work), QPoint(150, 150));
  EXPECT_EQ(PlaceDialog({200, 100}, QRect(700, 560, 300, 200), work), QPoint(600, 500));
  EXPECT_EQ(PlaceDialog({200, 100}, QRect(-300, -300, 100, 100), work), QPoint(0, 30));
  EXPECT_EQ(PlaceDialog({900, 700}, QRect(100, 100, 10, 10), work), QPoint(0, 30)) << "too big";
}

TEST_F(ConfigDlgTest, AboutBoxDismissesEveryWayAndRestartsThePreview) {
  auto d = Open();
  const QImage icon = ProgramIcon().pixmap(32, 32).toImage();
  EXPECT_EQ(ProgramIcon().availableSizes(), (QList<QSize>{{32, 32}, {16, 16}}));
  const std::function<void(QWidget*)> dismiss[] = {
      [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); },
      [](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); }, [](QWidget* w) { w->close(); }};
  for (const auto& way : dismiss) {
    d->preview.field.count = 9;
    bool shown = false;
    WhenModal(d.get(), [&](QWidget* w) {
      auto* about = qobject_cast<CAboutDlg*>(w);
      ASSERT_NE(about, nullptr);
      shown = true;
      EXPECT_EQ(about->windowTitle(), "About Vivedaziv...");
      EXPECT_EQ(about->size(),
                DialogUnits(about->font()).Map(191, 61) + 2 * QSize(kClientEdge, kClientEdge));
      int icons = 0;
      QString text;
      for (auto* label : about->findChildren<QLabel*>()) {
        if (label->pixmap().isNull())
          text += label->text();
        else
          icons += label->pixmap().toImage() == icon;
      }
      EXPECT_EQ(icons, 2);
      EXPECT_TRUE(text.contains("Vivedaziv") && text.contains("2.2")) << text.toStdString();
      EXPECT_TRUE(about->findChildren<QPushButton*>().isEmpty());
      way(about);
    });
    EXPECT_TRUE(Restarts(*d, [&] { Click(*d, kAbout); }));
    EXPECT_TRUE(shown);
    EXPECT_EQ(d->preview.field.arraySize, 9);
    EXPECT_TRUE(d->isVisible());
  }
}

}  // namespace
}  // namespace vz

int main(int argc, char** argv) {
  // Off screen unless told otherwise, so that listing the tests at build
  // time needs no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QCoreApplication::setOrganizationName("Quenfold");
  QCoreApplication::setApplicationName("config_dlg_test");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
