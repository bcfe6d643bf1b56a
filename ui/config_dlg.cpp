#include "config_dlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSlider>
#include <algorithm>
#include <array>
#include <climits>
#include <string>
#include <utility>

#include "about_dlg.h"
#include "command_line.h"
#include "dialog_form.h"
#include "frame_hints.h"
#include "x11_host.h"

namespace vz {

using namespace idc;

namespace {

// Template 131, in creation and tab order.
constexpr std::array<FormControl, 28> kConfigForm = {{
    {kNoId, Ctl::GroupBox, "Particle Masses", 3, 136, 281, 36},
    {kPlanet, Ctl::CheckBox, "Planet", 71, 13, 50, 13},
    {kFriction, Ctl::CheckBox, "Friction", 129, 31, 50, 13},
    {kEvenOdd, Ctl::CheckBox, "Even Odd", 13, 31, 50, 13},
    {kShowAll, Ctl::CheckBox, "Show All", 13, 13, 50, 13},
    {kBounce, Ctl::CheckBox, "Bounce", 71, 31, 50, 13},
    {kBorders, Ctl::CheckBox, "Borders", 129, 13, 50, 13},
    {kEvenOddMass, Ctl::Radio, "Even / Odd", 11, 148, 87, 18},
    {kSingle, Ctl::Radio, "Single", 101, 148, 87, 18},
    {kRandom, Ctl::Radio, "Random", 189, 148, 87, 18},
    {kOk, Ctl::DefaultButton, "OK", 205, 1, 79, 22},
    {kCancel, Ctl::Button, "Cancel", 242, 28, 42, 22},
    {kAbout, Ctl::Button, "About...", 206, 28, 34, 22},
    {kNoId, Ctl::GroupBox, "Delay", 3, 98, 73, 34},
    {kDelay, Ctl::Edit, "", 14, 110, 40, 17},
    {kNoId, Ctl::Text, "ms", 58, 110, 15, 17, true},
    {kGravity, Ctl::Slider, "", 215, 68, 69, 24},
    {kMu, Ctl::Slider, "", 215, 108, 69, 24},
    {kParticles, Ctl::Slider, "", 3, 68, 73, 24},
    {kPreview, Ctl::GroupBox, "Preview", 88, 55, 113, 78, true},
    {kNoId, Ctl::Text, "-   Vivedaziv   +", 3, 55, 73, 12, true},
    {kNoId, Ctl::Text, "-    Gravity   +", 215, 55, 69, 12, true},
    {kNoId, Ctl::Text, "+    Friction   -", 215, 95, 69, 12, true},
    {kNoId, Ctl::GroupBox, "Options", 3, 1, 188, 49},
    {kNoId, Ctl::GroupBox, "", 193, 1, 10, 49},
    {kNoId, Ctl::GroupBox, "", 78, 55, 10, 78},
    {kNoId, Ctl::GroupBox, "", 202, 55, 10, 78},
    {kBlackRect, Ctl::BlackRect, "", 93, 66, 103, 63},
}};

// Check boxes that only the preview follows until OK.
constexpr std::pair<int, std::int32_t SimParams::*> kPreviewSwitches[] = {
    {kShowAll, &SimParams::showAll},
    {kPlanet, &SimParams::planet},
    {kBorders, &SimParams::borders},
    {kEvenOdd, &SimParams::evenOdd},
    {kBounce, &SimParams::bounce}};
constexpr std::array<int, 3> kMassRadios = {kRandom, kEvenOddMass, kSingle};


bool IsEnter(const QKeyEvent* e) { return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter; }

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Whether a key press would insert text other than digits into a line
// edit. Control alone or with Shift inserts nothing; every other modifier,
// Alt and Super included, lets the key's text through.
bool TypesNonDigits(const QKeyEvent* e) {
  const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
  if (mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier))
    return false;
  const QString text = e->text();
  return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isPrint() && !IsDigit(c); });
}

}  // namespace

std::optional<std::int32_t> ParseDialogInt(const QString& text) {
  const qsizetype n = text.size();
  auto blank = [&](qsizetype i) { return text[i] == u' ' || text[i] == u'\t'; };
  qsizetype p = 0;
  while (p < n && blank(p)) ++p;
  const qsizetype first = p;
  bool negative = false;
  if (p < n && (text[p] == u'+' || text[p] == u'-')) negative = text[p++] == u'-';
  // Saturate at the limit of the sign.
  const std::int64_t limit = negative ? -std::int64_t{INT_MIN} : std::int64_t{INT_MAX};
  std::int64_t magnitude = 0;
  for (; p < n && IsDigit(text[p]); ++p) {
    magnitude = std::min(limit, magnitude * 10 + (text[p].unicode() - u'0'));
  }
  while (p < n && blank(p)) ++p;
  if (p != n) return std::nullopt;
  if (magnitude == 0 && !(first < n && text[first] == u'0')) return std::nullopt;
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

QPoint PlaceDialog(QSize size, const std::optional<QRect>& owner, const QRect& workArea) {
  const QRect around = owner ? *owner : workArea;
  int x = around.x() + (around.width() - size.width()) / 2;
  int y = around.y() + (around.height() - size.height()) / 2;
  // Right and bottom first, so a dialog larger than the work area keeps its
  // caption and its left edge on screen.
  x = std::max(std::min(x, workArea.x() + workArea.width() - size.width()), workArea.x());
  y = std::max(std::min(y, workArea.y() + workArea.height() - size.height()), workArea.y());
  return {x, y};
}

CConfigDlg::CConfigDlg(std::uint32_t owner)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  // The owner is the top-level window holding the given one.
  owner_ = owner && OnX11() ? X11TopLevel(owner) : 0;
  setWindowTitle(QStringLiteral("Glimmerfall 2.10 Configurator"));
  setFont(TemplateFont());
  const DialogUnits units(font());
  BuildForm(*this, units.Map(287, 179), kConfigForm, units);
  qCDebug(lcDialog).noquote() << "caption font:" << QFontInfo(GetDlgItem(kPlanet)->font()).family();

  for (auto [id, param] : kPreviewSwitches) {
    connect(static_cast<QAbstractButton*>(GetDlgItem(id)), &QAbstractButton::clicked, this,
            [this, id] {
              if (!inTransfer_) OnCheckBox(id);
            });
  }
  connect(static_cast<QAbstractButton*>(GetDlgItem(kFriction)), &QAbstractButton::clicked, this,
          [this] {
            if (!inTransfer_) OnFriction();
          });
  for (int id : kMassRadios) {
    auto* radio = static_cast<QAbstractButton*>(GetDlgItem(id));
    connect(radio, &QAbstractButton::clicked, this, [this, id] {
      if (!inTransfer_) OnMassScheme(id);
    });
    connect(radio, &QAbstractButton::toggled, this, [this] { MakeCheckedRadioTheTabStop(); });
  }
  // Every user action on a slider is a scroll notification, and so is the
  // end of a drag; setting a position from code is not.
  for (int id : {kGravity, kMu, kParticles}) {
    QSlider* slider = Slider(id);
    connect(slider, &QAbstractSlider::actionTriggered, this, [this, id] {
      if (!inTransfer_) OnSlider(id);
    });
    connect(slider, &QAbstractSlider::sliderReleased, this, [this, id] {
      if (!inTransfer_) OnSlider(id);
    });
  }
  connect(static_cast<QAbstractButton*>(GetDlgItem(kOk)), &QAbstractButton::clicked, this,
          &CConfigDlg::accept);
  connect(static_cast<QAbstractButton*>(GetDlgItem(kCancel)), &QAbstractButton::clicked, this,
          &CConfigDlg::reject);
  connect(static_cast<QAbstractButton*>(GetDlgItem(kAbout)), &QAbstractButton::clicked, this,
          [this] {
            if (!inTransfer_) OnAbout();
          });

  // Watches Enter for the whole dialog, and the delay box's keys and focus.
  qApp->installEventFilter(this);
}

CConfigDlg::~CConfigDlg() {
  // Children outlive the preview member; nothing may reach it from here on.
  closing_ = true;
  qApp->removeEventFilter(this);
  if (foreignOwner_) {
    if (QWindow* w = windowHandle()) w->setTransientParent(nullptr);
    delete foreignOwner_.data();
  }
}

void CConfigDlg::SetFields(const EntryValues& v) {
  GravityVal = static_cast<std::int32_t>(v.GravityVal);
  MuVal = static_cast<std::int32_t>(v.MuVal);
  NumParticles = static_cast<std::int32_t>(v.NumParticles);
  RandomMass = OnOff(v.RandomMass);
  SingleMass = OnOff(v.SingleMass);
  EvenOddMass = OnOff(v.EvenOddMass);
  Borders = OnOff(v.Borders);
  Bounce = OnOff(v.Bounce);
  EvenOdd = OnOff(v.EvenOdd);
  Friction = OnOff(v.Friction);
  Planet = OnOff(v.Planet);
  ShowAll = OnOff(v.ShowAll);
  DelayTime = static_cast<std::int32_t>(v.DelayTime);
}

EntryValues CConfigDlg::Fields() const {
  EntryValues v;
  v.GravityVal = static_cast<std::uint32_t>(GravityVal);
  v.MuVal = static_cast<std::uint32_t>(MuVal);
  v.NumParticles = static_cast<std::uint32_t>(NumParticles);
  v.RandomMass = static_cast<std::uint32_t>(RandomMass);
  v.SingleMass = static_cast<std::uint32_t>(SingleMass);
  v.EvenOddMass = static_cast<std::uint32_t>(EvenOddMass);
  v.Borders = static_cast<std::uint32_t>(Borders);
  v.Bounce = static_cast<std::uint32_t>(Bounce);
  v.EvenOdd = static_cast<std::uint32_t>(EvenOdd);
  v.Friction = static_cast<std::uint32_t>(Friction);
  v.Planet = static_cast<std::uint32_t>(Planet);
  v.ShowAll = static_cast<std::uint32_t>(ShowAll);
  v.DelayTime = static_cast<std::uint32_t>(DelayTime);
  return v;
}

QWidget* CConfigDlg::GetDlgItem(int id) const { return FindControl(*this, id); }

QSlider* CConfigDlg::Slider(int id) const { return qobject_cast<QSlider*>(GetDlgItem(id)); }

QLineEdit* CConfigDlg::DelayEdit() const { return qobject_cast<QLineEdit*>(GetDlgItem(kDelay)); }

bool CConfigDlg::Checked(int id) const {
  auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id));
  return button && button->isChecked();
}

void CConfigDlg::setVisible(bool visible) {
  if (visible && !initialised_) {
    initialised_ = true;
    OnInitDialog();
  }
  QDialog::setVisible(visible);
}

void CConfigDlg::showEvent(QShowEvent* event) {
  // A modal frame with a caption and no system menu.
  if (!event->spontaneous()) SetFrameHints(*this, false);
  QDialog::showEvent(event);
  if (!event->spontaneous()) LogClippedCaptions(*this);
}

void CConfigDlg::paintEvent(QPaintEvent*) { PaintClientEdge(*this); }

void CConfigDlg::OnInitDialog() {
  const std::pair<int, std::int32_t> checks[] = {{kBorders, Borders}, {kBounce, Bounce},
                                                 {kEvenOdd, EvenOdd}, {kFriction, Friction},
                                                 {kPlanet, Planet},   {kShowAll, ShowAll}};
  for (auto [id, value] : checks) {
    if (auto* box = qobject_cast<QAbstractButton*>(GetDlgItem(id))) box->setChecked(value != 0);
  }
  if (QLineEdit* edit = DelayEdit()) edit->setText(QString::number(DelayTime));

  // The preview covers the Preview group box and reads the store itself,
  // with the particle window's defaults.
  if (QWidget* frame = GetDlgItem(kPreview)) {
    preview.Create(0, kStyleChild | kStyleVisible, frame->geometry(), WindowParent{this, 0});
  }

  PlaceOverOwner();

  // Friction also gates its slider and reaches the preview.
  if (GetDlgItem(kFriction)) OnFriction();

  const int radio = RandomMass ? kRandom : EvenOddMass ? kEvenOddMass : kSingle;
  if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(radio))) button->setChecked(true);
  MakeCheckedRadioTheTabStop();

  // Positions outside a range show clamped; the fields keep what was stored
  // until OK reads the sliders.
  struct SliderSetup {
    int id, min, max;
    std::int32_t position;
    int tick;
  };
  const SliderSetup sliders[] = {{kGravity, 1, 40, GravityVal, 4},
                                 {kMu, 9500, 10000, MuVal, 50},
                                 {kParticles, 2, 100, NumParticles, 10}};
  for (const SliderSetup& s : sliders) {
    QSlider* slider = Slider(s.id);
    if (!slider) continue;
    slider->setRange(s.min, s.max);
    slider->setValue(s.position);
    slider->setTickInterval(s.tick);
  }
  if (QSlider* mu = Slider(kMu)) mu->setEnabled(Friction == 1);
}

void CConfigDlg::PlaceOverOwner() {
  std::optional<QRect> ownerRect;
  if (owner_) {
    if (const std::optional<X11Placement> place = X11WindowPlacement(owner_)) {
      if (!foreignOwner_) foreignOwner_ = QWindow::fromWinId(owner_);
      if (foreignOwner_) {
        winId();  // the native window must exist to name its owner
        windowHandle()->setTransientParent(foreignOwner_);
      }
      // A hidden or minimised owner gives no place to centre on.
      if (place->viewable) ownerRect = place->rect;
    }
  }
  QScreen* screen = ownerRect ? QGuiApplication::screenAt(ownerRect->center()) : nullptr;
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  move(PlaceDialog(size(), ownerRect, screen->availableGeometry()));
}

void CConfigDlg::MakeCheckedRadioTheTabStop() {
  // Tab enters the mass group at its checked button; the arrow keys move
  // within it.
  bool any = false;
  for (int id : kMassRadios) any = any || Checked(id);
  for (int id : {kEvenOddMass, kSingle, kRandom}) {
    QWidget* radio = GetDlgItem(id);
    if (!radio) continue;
    const bool stop = any ? Checked(id) : id == kEvenOddMass;
    radio->setFocusPolicy(stop ? Qt::StrongFocus : Qt::ClickFocus);
  }
}

void CConfigDlg::OnCheckBox(int id) {
  for (auto [box, param] : kPreviewSwitches) {
    if (box != id) continue;
    preview.ChangeField([&](ParticleField& f) { f.params.*param = Checked(id) ? 1 : 0; });
    Repaint();
  }
}

void CConfigDlg::OnFriction() {
  Friction = Checked(kFriction) ? 1 : 0;
  QSlider* mu = Slider(kMu);
  if (!mu) return;
  mu->setEnabled(Friction == 1);
  preview.ChangeField([this](ParticleField& f) { f.params.friction = Friction; });
  Repaint();
}

void CConfigDlg::OnMassScheme(int id) {
  RandomMass = id == kRandom ? 1 : 0;
  SingleMass = id == kSingle ? 1 : 0;
  EvenOddMass = id == kEvenOddMass ? 1 : 0;
  preview.ChangeField([this](ParticleField& f) {
    f.params.randomMass = RandomMass;
    f.params.singleMass = SingleMass;
    f.params.evenOddMass = EvenOddMass;
  });
  Repaint();
}

void CConfigDlg::OnDelayKillFocus() {
  const QLineEdit* edit = DelayEdit();
  if (!edit) return;
  const auto delay = static_cast<std::int32_t>(ReadDecimal(edit->text().toStdString()));
  preview.ChangeField([delay](ParticleField& f) { f.params.delay = delay; });
  Repaint();
  preview.RestartTimer();
}

void CConfigDlg::OnSlider(int id) {
  const int position = Slider(id)->sliderPosition();
  switch (id) {
    case kParticles:
      NumParticles = position;
      preview.ChangeField([position](ParticleField& f) { f.count = position; });
      break;
    case kGravity:
      GravityVal = position;
      preview.ChangeField([position](ParticleField& f) { f.params.gravity = position * 0.1; });
      break;
    case kMu:
      MuVal = position;
      preview.ChangeField([position](ParticleField& f) { f.params.mu = position * 0.0001; });
      break;
    default:
      return;
  }
  Repaint();
}

void CConfigDlg::OnAbout() {
  {
    CAboutDlg about(this);
    about.exec();
  }
  Repaint();
}

void CConfigDlg::accept() {
  if (inTransfer_) return;
  if (QSlider* s = Slider(kGravity)) GravityVal = s->value();
  if (QSlider* s = Slider(kMu)) MuVal = s->value();
  if (QSlider* s = Slider(kParticles)) NumParticles = s->value();
  if (!TransferFromControls()) return;
  QDialog::accept();
}

bool CConfigDlg::TransferFromControls() {
  const QScopedValueRollback<bool> lockout(inTransfer_, true);
  Borders = Checked(kBorders) ? 1 : 0;
  Bounce = Checked(kBounce) ? 1 : 0;
  EvenOdd = Checked(kEvenOdd) ? 1 : 0;
  Friction = Checked(kFriction) ? 1 : 0;
  Planet = Checked(kPlanet) ? 1 : 0;
  ShowAll = Checked(kShowAll) ? 1 : 0;
  QLineEdit* edit = DelayEdit();
  if (!edit) return true;

  QString refusal;
  if (const std::optional<std::int32_t> delay = ParseDialogInt(edit->text()); !delay) {
    refusal = QStringLiteral("Please enter an integer.");
  } else {
    // An integer out of range is kept even though OK is refused.
    DelayTime = *delay;
    if (DelayTime < 0 || DelayTime > 100) {
      refusal = QStringLiteral("Please enter an integer between %1 and %2.").arg(0).arg(100);
    }
  }
  if (refusal.isEmpty()) return true;
  QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(), refusal,
                  QMessageBox::Ok, this);
  box.exec();
  edit->setFocus(Qt::OtherFocusReason);
  edit->selectAll();
  return false;
}

bool CConfigDlg::eventFilter(QObject* watched, QEvent* event) {
  if (closing_ || !watched->isWidgetType()) return false;
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::FocusOut && type != QEvent::InputMethod) {
    return false;
  }
  auto* widget = static_cast<QWidget*>(watched);
  if (widget->window() != this) return false;

  if (type == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    // Enter neither presses OK nor moves the focus: it goes nowhere.
    if (IsEnter(key)) return true;
    // Only digits may be typed; shortcuts that insert nothing pass. Pasting
    // is not typing and is left alone.
    return widget == DelayEdit() && TypesNonDigits(key);
  }
  if (widget != DelayEdit()) return false;
  if (type == QEvent::InputMethod) {
    // What an input method commits is typed too: only its digits go in.
    auto* input = static_cast<QInputMethodEvent*>(event);
    QString digits = input->commitString();
    digits.removeIf([](QChar c) { return !IsDigit(c); });
    input->setCommitString(digits, input->replacementStart(), input->replacementLength());
    return false;
  }
  // The box's own context menu takes the focus only for as long as it is
  // open: that is no focus loss.
  if (static_cast<QFocusEvent*>(event)->reason() == Qt::PopupFocusReason) return false;
  if (!inTransfer_ && initialised_) OnDelayKillFocus();
  return false;
}

}  // namespace vz
