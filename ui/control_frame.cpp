#include "control_frame.h"

namespace vz {

void DrawEdge(QPainter& painter, const QRect& r, const QPalette& palette, Edge edge) {
  // Each ring: its top and left side in one colour, bottom and right in
  // another. The colours follow the desktop's 3-D shades: light, highlight,
  // shadow and dark shadow.
  const QColor light = palette.color(QPalette::Midlight);
  const QColor highlight = palette.color(QPalette::Light);
  const QColor shadow = palette.color(QPalette::Dark);
  const QColor darkShadow = palette.color(QPalette::Shadow);
  struct Ring {
    QColor topLeft, bottomRight;
  };
  const Ring rings[2] = {edge == Edge::Raised ? Ring{light, darkShadow} : Ring{shadow, highlight},
                         edge == Edge::Raised ? Ring{highlight, shadow} : Ring{darkShadow, light}};
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  QRect ring = r;
  for (const Ring& colours : rings) {
    if (ring.width() < 2 || ring.height() < 2) break;
    painter.setPen(colours.topLeft);
    painter.drawLine(ring.left(), ring.top(), ring.right() - 1, ring.top());
    painter.drawLine(ring.left(), ring.top(), ring.left(), ring.bottom() - 1);
    painter.setPen(colours.bottomRight);
    painter.drawLine(ring.left(), ring.bottom(), ring.right(), ring.bottom());
    painter.drawLine(ring.right(), ring.top(), ring.right(), ring.bottom());
    ring.adjust(1, 1, -1, -1);
  }
  painter.restore();
}

}  // namespace vz
