#include "track_bar.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <algorithm>

namespace vz {

namespace {
// The frame and the border inside it.
constexpr int kInset = kModalFrame + 1;
// Held down, paging starts repeating after this delay, at this interval.
constexpr int kRepeatDelayMs = 500;
constexpr int kRepeatIntervalMs = 100;
}  // namespace

TrackBar::TrackBar(QWidget* parent) : Framed(parent, kInset) {
  setOrientation(Qt::Horizontal);
  setTickPosition(TicksAbove);
  connect(&repeat_, &QTimer::timeout, this, [this] { RepeatPage(); });
}

void TrackBar::sliderChange(SliderChange change) {
  if (change == SliderRangeChange) setPageStep(std::max(1, (maximum() - minimum()) / 5));
  QSlider::sliderChange(change);
}

void TrackBar::keyPressEvent(QKeyEvent* event) {
  SliderAction action = SliderNoAction;
  switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
      action = SliderSingleStepSub;
      break;
    case Qt::Key_Right:
    case Qt::Key_Down:
      action = SliderSingleStepAdd;
      break;
    case Qt::Key_PageUp:
      action = SliderPageStepSub;
      break;
    case Qt::Key_PageDown:
      action = SliderPageStepAdd;
      break;
    case Qt::Key_Home:
      action = SliderToMinimum;
      break;
    case Qt::Key_End:
      action = SliderToMaximum;
      break;
    default:
      QSlider::keyPressEvent(event);
      return;
  }
  triggerAction(action);
  event->accept();
}

QAbstractSlider::SliderAction TrackBar::PageTowardsClick() const {
  QStyleOptionSlider opt;
  initStyleOption(&opt);
  const QRect thumb =
      style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
  if (clickX_ < thumb.left()) return SliderPageStepSub;
  if (clickX_ > thumb.right()) return SliderPageStepAdd;
  return SliderNoAction;
}

void TrackBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  clickX_ = event->position().toPoint().x();
  paging_ = PageTowardsClick();
  if (paging_ == SliderNoAction) {
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QStyle::SubControl hit =
        style()->hitTestComplexControl(QStyle::CC_Slider, &opt, event->position().toPoint(), this);
    if (hit == QStyle::SC_SliderHandle) QSlider::mousePressEvent(event);  // drag the thumb
    return;
  }
  triggerAction(paging_);
  repeat_.start(kRepeatDelayMs);
}

void TrackBar::RepeatPage() {
  repeat_.setInterval(kRepeatIntervalMs);
  const bool atEnd =
      paging_ == SliderPageStepAdd ? sliderPosition() == maximum() : sliderPosition() == minimum();
  if (atEnd || PageTowardsClick() != paging_) {
    repeat_.stop();
    return;
  }
  triggerAction(paging_);
}

void TrackBar::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) repeat_.stop();
  QSlider::mouseReleaseEvent(event);
}

void TrackBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOptionSlider opt;
  initStyleOption(&opt);
  // The style leaves room for ticks above; they are drawn here instead.
  opt.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
  style()->drawComplexControl(QStyle::CC_Slider, &opt, &painter, this);

  const int thumb = style()->pixelMetric(QStyle::PM_SliderLength, &opt, this);
  const int tickBottom =
      opt.rect.top() + style()->pixelMetric(QStyle::PM_SliderTickmarkOffset, &opt, this);
  const QColor ink = palette().color(QPalette::Active, QPalette::WindowText);
  painter.setPen(ink);
  auto tick = [&](int value) {
    const int x =
        opt.rect.x() + thumb / 2 +
        QStyle::sliderPositionFromValue(minimum(), maximum(), value, opt.rect.width() - thumb);
    // The end ticks are a pixel longer.
    const bool end = value == minimum() || value == maximum();
    painter.drawLine(x, opt.rect.top() + (end ? 1 : 2), x, tickBottom);
  };
  if (tickInterval() > 0) {
    for (qint64 v = minimum(); v < maximum(); v += tickInterval()) tick(static_cast<int>(v));
  } else {
    tick(minimum());
  }
  tick(maximum());

  painter.drawRect(rect().adjusted(kModalFrame, kModalFrame, -kModalFrame - 1, -kModalFrame - 1));
  DrawEdge(painter, rect(), palette(), Edge::Raised);
}

}  // namespace vz
