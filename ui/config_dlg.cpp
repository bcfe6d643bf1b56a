#include "config_dlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
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
#include <utility>

#include "about_dlg.h"
#include "command_line.h"
#include "config_form.h"
#include "delay_box.h"
#include "dialog_form.h"
#include "dialog_placement.h"
#include "entry_table.h"
#include "frame_hints.h"
#include "x11_host.h"

namespace vz {

using namespace idc;

namespace {

// Check boxes that only the preview follows until OK.
constexpr std::pair<int, std::int32_t SimParams::*> kPreviewSwitches[] = {
    {kShowAll, &SimParams::showAll},
    {kPlanet, &SimParams::planet},
    {kBorders, &SimParams::borders},
    {kEvenOdd, &SimParams::evenOdd},
    {kBounce, &SimParams::bounce}};
constexpr std::array<int, 3> kMassRadios = {kRandom, kEvenOddMass, kSingle};

// Each stored entry's field in the dialog and the control that shows it.
struct EntryControl {
  std::uint32_t EntryValues::*entry;
  std::int32_t CConfigDlg::*field;
  int control;
};
constexpr EntryControl kEntryControls[] = {
    {&EntryValues::GravityVal, &CConfigDlg::GravityVal, kGravity},
    {&EntryValues::MuVal, &CConfigDlg::MuVal, kMu},
    {&EntryValues::NumParticles, &CConfigDlg::NumParticles, kParticles},
    {&EntryValues::RandomMass, &CConfigDlg::RandomMass, kRandom},
    {&EntryValues::SingleMass, &CConfigDlg::SingleMass, kSingle},
    {&EntryValues::EvenOddMass, &CConfigDlg::EvenOddMass, kEvenOddMass},
    {&EntryValues::Borders, &CConfigDlg::Borders, kBorders},
    {&EntryValues::Bounce, &CConfigDlg::Bounce, kBounce},
    {&EntryValues::EvenOdd, &CConfigDlg::EvenOdd, kEvenOdd},
    {&EntryValues::Friction, &CConfigDlg::Friction, kFriction},
    {&EntryValues::Planet, &CConfigDlg::Planet, kPlanet},
    {&EntryValues::ShowAll, &CConfigDlg::ShowAll, kShowAll},
    {&EntryValues::DelayTime, &CConfigDlg::DelayTime, kDelay},
};
static_assert(std::size(kEntryControls) == kEntries.size());

constexpr const DialogRange& RangeOf(std::uint32_t EntryValues::*entry) {
  return EntryOf(entry).dialog;
}

bool IsEnter(const QKeyEvent* e) { return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter; }

}  // namespace

CConfigDlg::CConfigDlg(std::uint32_t owner)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  // The owner is the top-level window holding the given one.
  owner_ = owner && OnX11() ? X11TopLevel(owner) : 0;
  setWindowTitle(QStringLiteral("Glimmerfall 2.10 Configurator"));
  setFont(TemplateFont());
  const DialogUnits units(font());
  BuildForm(*this, units.Map(287, 179), kConfigForm, units);
  qCDebug(lcDialog).noquote() << "caption font:" << QFontInfo(GetDlgItem(kPlanet)->font()).family();

  ConnectControls();

  // Watches Enter for the whole dialog, and the delay box's keys and focus.
  qApp->installEventFilter(this);
}

void CConfigDlg::ConnectControls() {
  auto clicked = [this](int id, auto handler) {
    connect(Button(id), &QAbstractButton::clicked, this, Unlocked(handler));
  };
  for (auto [id, param] : kPreviewSwitches) clicked(id, [this, id] { OnCheckBox(id); });
  clicked(kFriction, [this] { OnFriction(); });
  for (int id : kMassRadios) {
    clicked(id, [this, id] { OnMassScheme(id); });
    connect(Button(id), &QAbstractButton::toggled, this, [this] { MakeCheckedRadioTheTabStop(); });
  }
  // Every user action on a slider is a scroll notification, and so is the
  // end of a drag; setting a position from code is not.
  for (int id : {kGravity, kMu, kParticles}) {
    const auto moved = Unlocked([this, id] { OnSlider(id); });
    connect(Slider(id), &QAbstractSlider::actionTriggered, this, moved);
    connect(Slider(id), &QAbstractSlider::sliderReleased, this, moved);
  }
  connect(Button(kOk), &QAbstractButton::clicked, this, &CConfigDlg::accept);
  connect(Button(kCancel), &QAbstractButton::clicked, this, &CConfigDlg::reject);
  clicked(kAbout, [this] { OnAbout(); });
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
  for (const EntryControl& c : kEntryControls) {
    const std::uint32_t stored = v.*c.entry;
    this->*c.field = EntryOf(c.entry).kind == EntryKind::Switch
                         ? OnOff(stored)
                         : static_cast<std::int32_t>(stored);
  }
}

EntryValues CConfigDlg::Fields() const {
  EntryValues v;
  for (const EntryControl& c : kEntryControls) {
    v.*c.entry = static_cast<std::uint32_t>(this->*c.field);
  }
  return v;
}

QWidget* CConfigDlg::GetDlgItem(int id) const { return FindControl(*this, id); }

QSlider* CConfigDlg::Slider(int id) const { return qobject_cast<QSlider*>(GetDlgItem(id)); }

QAbstractButton* CConfigDlg::Button(int id) const {
  return static_cast<QAbstractButton*>(GetDlgItem(id));
}

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
  for (const EntryControl& c : kEntryControls) {
    if (auto* box = qobject_cast<QCheckBox*>(GetDlgItem(c.control))) {
      box->setChecked(this->*c.field != 0);
    }
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
  for (const EntryControl& c : kEntryControls) {
    QSlider* slider = Slider(c.control);
    if (!slider) continue;
    const DialogRange& range = RangeOf(c.entry);
    slider->setRange(range.min, range.max);
    slider->setValue(this->*c.field);
    slider->setTickInterval(range.tick);
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
  for (const EntryControl& c : kEntryControls) {
    if (QSlider* slider = Slider(c.control)) this->*c.field = slider->value();
  }
  if (!TransferFromControls()) return;
  QDialog::accept();
}

bool CConfigDlg::TransferFromControls() {
  const QScopedValueRollback<bool> lockout(inTransfer_, true);
  for (const EntryControl& c : kEntryControls) {
    if (qobject_cast<QCheckBox*>(GetDlgItem(c.control))) {
      this->*c.field = Checked(c.control) ? 1 : 0;
    }
  }
  QLineEdit* edit = DelayEdit();
  if (!edit) return true;

  QString refusal;
  if (const std::optional<std::int32_t> delay = ParseDialogInt(edit->text()); !delay) {
    refusal = QStringLiteral("Please enter an integer.");
  } else {
    // An integer out of range is kept even though OK is refused.
    DelayTime = *delay;
    const DialogRange& range = RangeOf(&EntryValues::DelayTime);
    if (DelayTime < range.min || DelayTime > range.max) {
      refusal = QStringLiteral("Please enter an integer between %1 and %2.")
                    .arg(range.min)
                    .arg(range.max);
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
    return widget == DelayEdit() && TypesNonDigits(*key);
  }
  if (widget != DelayEdit()) return false;
  if (type == QEvent::InputMethod) {
    // What an input method commits is typed too: only its digits go in.
    KeepOnlyDigits(*static_cast<QInputMethodEvent*>(event));
    return false;
  }
  // The box's own context menu takes the focus only for as long as it is
  // open: that is no focus loss.
  if (static_cast<QFocusEvent*>(event)->reason() == Qt::PopupFocusReason) return false;
  if (!inTransfer_ && initialised_) OnDelayKillFocus();
  return false;
}

}  // namespace vz
