#include "dialog_placement.h"

#include <algorithm>

namespace vz {

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

}  // namespace vz
