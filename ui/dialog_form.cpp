#include "dialog_form.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVariant>
#include <algorithm>
#include <vector>

#include "program_icon.h"

namespace vz {

QFont TemplateFont() { return QFont(QStringLiteral("Comic Sans MS"), 8); }

namespace {
// a × b / c rounded, for non-negative a.
int MulDiv(int a, int b, int c) { return (a * b + c / 2) / c; }
}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics fm(font);
  // The average width over the alphabet, rounded to a whole pixel.
  const int letters =
      fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseX_ = std::max(1, (letters / 26 + 1) / 2);
  baseY_ = std::max(1, fm.height());
}

QRect DialogUnits::Map(int x, int y, int w, int h) const {
  return QRect(MulDiv(x, baseX_, 4), MulDiv(y, baseY_, 8), MulDiv(w, baseX_, 4),
               MulDiv(h, baseY_, 8));
}

QSize DialogUnits::Map(int w, int h) const { return Map(0, 0, w, h).size(); }

namespace {

QWidget* Make(const FormControl& c, QWidget& parent) {
  const QString caption = QString::fromUtf8(c.caption);
  switch (c.kind) {
    case Ctl::GroupBox: {
      auto* box = new QGroupBox(caption, &parent);
      if (c.centred) box->setAlignment(Qt::AlignHCenter);
      box->setAttribute(Qt::WA_TransparentForMouseEvents);
      return box;
    }
    case Ctl::CheckBox:
      return new QCheckBox(caption, &parent);
    case Ctl::Radio:
      return new QRadioButton(caption, &parent);
    case Ctl::Button: {
      auto* button = new QPushButton(caption, &parent);
      // Enter must never press a button of these dialogs.
      button->setAutoDefault(false);
      button->setDefault(false);
      return button;
    }
    case Ctl::Edit:
      return new QLineEdit(caption, &parent);
    case Ctl::Text: {
      auto* label = new QLabel(caption, &parent);
      label->setAlignment((c.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
      label->setWordWrap(true);
      return label;
    }
    case Ctl::Slider: {
      auto* slider = new QSlider(Qt::Horizontal, &parent);
      slider->setTickPosition(QSlider::TicksAbove);
      return slider;
    }
    case Ctl::BlackRect: {
      auto* rect = new QWidget(&parent);
      QPalette palette = rect->palette();
      palette.setColor(QPalette::Window, Qt::black);
      rect->setPalette(palette);
      rect->setAutoFillBackground(true);
      return rect;
    }
    case Ctl::Icon: {
      // An icon control shows the icon at its own size from the top-left.
      auto* label = new QLabel(&parent);
      label->setPixmap(ProgramIcon().pixmap(32, 32));
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
  }
  return nullptr;
}

}  // namespace

void BuildForm(QWidget& dialog, std::span<const FormControl> table, const DialogUnits& units) {
  std::vector<QWidget*> frames;
  for (const FormControl& c : table) {
    QWidget* w = Make(c, dialog);
    w->setGeometry(units.Map(c.x, c.y, c.w, c.h));
    w->setProperty(kControlIdProperty, c.id);
    if (c.id != kNoId) w->setObjectName(QStringLiteral("id%1").arg(c.id));
    if (c.kind == Ctl::GroupBox) frames.push_back(w);
  }
  // Backwards, so the frames keep their own order among themselves.
  for (auto it = frames.rbegin(); it != frames.rend(); ++it) (*it)->lower();
}

QWidget* FindControl(const QWidget& dialog, int id) {
  if (id == kNoId) return nullptr;
  return dialog.findChild<QWidget*>(QStringLiteral("id%1").arg(id), Qt::FindDirectChildrenOnly);
}

}  // namespace vz
