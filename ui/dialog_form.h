#pragma once

#include <QFont>
#include <QLoggingCategory>
#include <QRect>
#include <span>

class QWidget;

namespace vz {

// The font both dialog templates ask for, "Comic Sans MS" at 8 points,
// mapped to Comic Neue, an open face drawn after it; without Comic Neue, an
// upright sans-serif.
QFont TemplateFont();

// Dialog units of a font: a horizontal unit is a quarter of the average
// character width, a vertical unit an eighth of the character height, so a
// form keeps its proportions whatever font it ends up with.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  QRect Map(int x, int y, int w, int h) const;
  QSize Map(int w, int h) const;
  int BaseX() const { return baseX_; }
  int BaseY() const { return baseY_; }

 private:
  int baseX_;
  int baseY_;
};

enum class Ctl {
  GroupBox,
  CheckBox,
  Radio,
  Button,
  DefaultButton,
  Edit,
  Text,
  Slider,
  BlackRect,
  Icon
};

// One control of a dialog template; position and size in dialog units.
struct FormControl {
  int id;  // kNoId when nothing addresses the control
  Ctl kind;
  const char* caption;
  int x, y, w, h;
  bool centred = false;  // caption of a group box or text
};

inline constexpr int kNoId = -1;
// Every control keeps its numeric identifier under this property, and as
// its object name "id<number>".
inline constexpr char kControlIdProperty[] = "controlId";

// Sizes `dialog` to a client area of `clientSize` inside its sunken client
// edge, and creates the controls in that area, in table order, which is
// also their tab order. Every control but a black rectangle sits in a modal
// frame. Group boxes are only frames: they sit beneath the other controls
// and let clicks through to them. Check boxes and radio buttons take a
// click anywhere in their rectangle.
void BuildForm(QWidget& dialog, QSize clientSize, std::span<const FormControl> table,
               const DialogUnits& units);

// Draws the sunken client edge along the dialog's border; for its paint
// event.
void PaintClientEdge(QWidget& dialog);

// The control with the identifier, or null.
QWidget* FindControl(const QWidget& dialog, int id);

// Debug messages of the dialogs ("vivedaziv.dialog"), for tests to read.
Q_DECLARE_LOGGING_CATEGORY(lcDialog)

// Logs, when debugging the dialogs, every caption of `dialog` that does not
// fit the room its control leaves it, or that none is cut.
void LogClippedCaptions(const QWidget& dialog);

}  // namespace vz
