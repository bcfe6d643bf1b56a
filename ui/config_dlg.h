#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QWindow>
#include <cstdint>
#include <optional>

#include "entries.h"
#include "particle_wnd.h"

class QLineEdit;
class QSlider;

namespace vz {

// Control identifiers of template 131.
namespace idc {
inline constexpr int kOk = 1, kCancel = 2;
inline constexpr int kDelay = 1000, kPreview = 1006;
inline constexpr int kRandom = 1008, kEvenOddMass = 1009, kSingle = 1010;
inline constexpr int kPlanet = 1011, kFriction = 1012, kBounce = 1015;
inline constexpr int kShowAll = 1018, kEvenOdd = 1019, kBorders = 1020, kAbout = 1021;
inline constexpr int kGravity = 1024, kMu = 1025, kParticles = 1026;
inline constexpr int kBlackRect = 1030;
}  // namespace idc

// The configuration dialog (template 131). The fields carry what the run
// writes back; the embedded preview follows every control at once.
class CConfigDlg : public QDialog {
  Q_OBJECT

 public:
  // `owner`: an X11 window (or a window inside one) to stay over; 0 for none.
  explicit CConfigDlg(std::uint32_t owner = 0);
  ~CConfigDlg() override;

  // The stored entries into the fields, on/off entries as exactly 0 or 1.
  void SetFields(const EntryValues& v);
  EntryValues Fields() const;

  QWidget* GetDlgItem(int id) const;
  // The top-level X11 window the dialog stays over; 0 for none.
  std::uint32_t Owner() const { return owner_; }

  // The first show initialises the controls and the preview.
  void setVisible(bool visible) override;

  std::int32_t GravityVal = 0;
  std::int32_t MuVal = 0;
  std::int32_t NumParticles = 0;
  std::int32_t RandomMass = 0;
  std::int32_t SingleMass = 0;
  std::int32_t EvenOddMass = 0;
  CParticleWnd preview{false};
  std::int32_t Borders = 0;
  std::int32_t Bounce = 0;
  std::int32_t EvenOdd = 0;
  std::int32_t Friction = 0;
  std::int32_t Planet = 0;
  std::int32_t ShowAll = 0;
  std::int32_t DelayTime = 0;

 public slots:
  // OK: takes the sliders, then the check boxes and the delay, which must be
  // an integer from 0 to 100; the dialog stays open when it is not.
  void accept() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void OnInitDialog();
  void PlaceOverOwner();
  void OnCheckBox(int id);
  void OnFriction();
  void OnMassScheme(int id);
  void OnDelayKillFocus();
  void OnSlider(int id);
  void OnAbout();
  // Controls into the check-box fields and DelayTime; false after telling
  // the user what is wrong with the delay.
  bool TransferFromControls();
  void MakeCheckedRadioTheTabStop();
  void Repaint() { preview.InvalidateAll(); }
  bool Checked(int id) const;
  QSlider* Slider(int id) const;
  QLineEdit* DelayEdit() const;

  std::uint32_t owner_ = 0;
  QPointer<QWindow> foreignOwner_;
  bool initialised_ = false;
  // Set while controls are transferred into fields: notifications that
  // arrive meanwhile are ignored.
  bool inTransfer_ = false;
  bool closing_ = false;
};

// The delay as OK reads it, the whole text: blanks and tabs, a decimal
// integer with an optional sign (saturating at the 32-bit limits), then only
// blanks and tabs. A 0 counts only when the number's first character is the
// digit 0, so an empty box or a lone sign is no integer.
std::optional<std::int32_t> ParseDialogInt(const QString& text);

// Where a dialog of `size` goes: centred over `owner`, or over the work area
// when there is none, then moved to lie inside the work area.
QPoint PlaceDialog(QSize size, const std::optional<QRect>& owner, const QRect& workArea);

}  // namespace vz
