#pragma once

#include <QPainter>
#include <QPalette>
#include <QRect>
#include <QWidget>

namespace vz {

// Widths, in pixels, of the borders the dialog templates ask for: the raised
// double border of a modal frame around every control (a two-pixel raised
// edge and a pixel of face), and the sunken edge around each dialog's client
// area.
inline constexpr int kModalFrame = 3;
inline constexpr int kClientEdge = 2;

enum class Edge { Raised, Sunken };

// The classic two-pixel 3-D edge along the inside of `r`: a raised edge is lit
// from the top left, a sunken one shaded there.
void DrawEdge(QPainter& painter, const QRect& r, const QPalette& palette, Edge edge);

// A control inside a modal frame: the style lays it out and draws it within
// the frame, which is painted over the outer pixels afterwards. `Option` is
// the style option the control describes itself with.
template <class Base, class Option>
class Framed : public Base {
 public:
  explicit Framed(QWidget* parent, int inset = kModalFrame) : Base(parent) {
    this->setContentsMargins(inset, inset, inset, inset);
  }

 protected:
  void initStyleOption(Option* option) const override {
    Base::initStyleOption(option);
    option->rect = this->contentsRect();
  }
  void paintEvent(QPaintEvent* event) override {
    Base::paintEvent(event);
    QPainter painter(this);
    DrawEdge(painter, this->rect(), this->palette(), Edge::Raised);
  }
};

}  // namespace vz
