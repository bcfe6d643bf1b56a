#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QWindow>
#include <cstdint>
#include <optional>

#include "config_form.h"
#include "entries.h"
#include "particle_wnd.h"

class QAbstractButton;
class QLineEdit;
class QSlider;

namespace vz {

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
  // an integer in the delay's range; the dialog stays open when it is not.
  void accept() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void OnInitDialog();
  void ConnectControls();
  // `handler` as a slot that ignores what arrives while controls are
  // transferred into fields.
  template <class Handler>
  auto Unlocked(Handler handler) {
    return [this, handler] {
      if (!inTransfer_) handler();
    };
  }
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
  QAbstractButton* Button(int id) const;
  QLineEdit* DelayEdit() const;

  std::uint32_t owner_ = 0;
  QPointer<QWindow> foreignOwner_;
  bool initialised_ = false;
  // Set while controls are transferred into fields: notifications that
  // arrive meanwhile are ignored.
  bool inTransfer_ = false;
  bool closing_ = false;
};

}  // namespace vz
