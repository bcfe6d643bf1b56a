#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <optional>

namespace vz {

// Where a dialog of `size` goes: centred over `owner`, or over the work area
// when there is none, then moved to lie inside the work area.
QPoint PlaceDialog(QSize size, const std::optional<QRect>& owner, const QRect& workArea);

}  // namespace vz
