#pragma once

#include <QSlider>
#include <QStyleOptionSlider>
#include <QTimer>

#include "control_frame.h"

namespace vz {

// A horizontal slider that behaves as the desktop's track bar: Left and Up,
// Page Up and Home move towards the minimum, their counterparts towards the
// maximum; a page is a fifth of the range; a click beside the thumb pages
// towards the click, repeating while the button is held, instead of jumping
// there. Ticks sit at every tick interval from the minimum and at both ends,
// drawn alike whether the slider is enabled or not. A one-pixel border lies
// inside the modal frame.
class TrackBar : public Framed<QSlider, QStyleOptionSlider> {
 public:
  explicit TrackBar(QWidget* parent);

 protected:
  void sliderChange(SliderChange change) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  // The page action that brings the thumb towards the click; none once the
  // thumb lies under it.
  SliderAction PageTowardsClick() const;
  void RepeatPage();

  QTimer repeat_;
  int clickX_ = 0;
  SliderAction paging_ = SliderNoAction;
};

}  // namespace vz
