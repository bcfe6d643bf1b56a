#pragma once

#include <QFont>
#include <QRect>
#include <span>

class QWidget;

namespace vz {

// The font both dialog templates ask for; the font system substitutes
// whatever it has when the family is missing.
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

enum class Ctl { GroupBox, CheckBox, Radio, Button, Edit, Text, Slider, BlackRect, Icon };

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

// Creates the controls as children of `dialog` in table order, which is
// also their tab order. Group boxes are only frames: they sit beneath the
// other controls and let clicks through to them.
void BuildForm(QWidget& dialog, std::span<const FormControl> table, const DialogUnits& units);

// The control with the identifier, or null.
QWidget* FindControl(const QWidget& dialog, int id);

}  // namespace vz
