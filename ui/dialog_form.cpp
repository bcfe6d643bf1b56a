#include "dialog_form.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOption>
#include <QStylePainter>
#include <QVariant>
#include <algorithm>
#include <vector>

#include "control_frame.h"
#include "program_icon.h"
#include "track_bar.h"

namespace vz {

QFont TemplateFont() {
  // Asked for by name, "Comic Sans MS" resolves through the font system's
  // cursive alias to a calligraphic script.
  const QString comicNeue = QStringLiteral("Comic Neue");
  QFont font(QFontDatabase::hasFamily(comicNeue) ? comicNeue : QStringLiteral("sans-serif"), 8);
  font.setStyleHint(QFont::SansSerif);
  font.setStyle(QFont::StyleNormal);
  font.setWeight(QFont::Normal);
  return font;
}

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

// Check boxes and radio buttons react to a click anywhere in their
// rectangle, not only on the box and its label.
template <class Base>
class WholeRectButton : public Framed<Base, QStyleOptionButton> {
 public:
  WholeRectButton(const QString& caption, QWidget* parent)
      : Framed<Base, QStyleOptionButton>(parent) {
    this->setText(caption);
  }

 protected:
  bool hitButton(const QPoint& pos) const override { return this->rect().contains(pos); }
};

// A label lays its text out in its contents rectangle by itself.
class FramedLabel : public QLabel {
 public:
  explicit FramedLabel(QWidget* parent) : QLabel(parent) {
    setContentsMargins(kModalFrame, kModalFrame, kModalFrame, kModalFrame);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QLabel::paintEvent(event);
    QPainter painter(this);
    DrawEdge(painter, rect(), palette(), Edge::Raised);
  }
};

// The style places a group box's caption from the widget's origin, so the
// box is drawn with its origin moved inside the frame.
class FramedGroupBox : public QGroupBox {
 public:
  FramedGroupBox(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    option.rect = QRect(0, 0, width() - 2 * kModalFrame, height() - 2 * kModalFrame);
    painter.translate(kModalFrame, kModalFrame);
    painter.drawComplexControl(QStyle::CC_GroupBox, option);
    painter.resetTransform();
    DrawEdge(painter, rect(), palette(), Edge::Raised);
  }
};

QWidget* Make(const FormControl& c, QWidget& parent) {
  const QString caption = QString::fromUtf8(c.caption);
  switch (c.kind) {
    case Ctl::GroupBox: {
      auto* box = new FramedGroupBox(caption, &parent);
      if (c.centred) box->setAlignment(Qt::AlignHCenter);
      box->setAttribute(Qt::WA_TransparentForMouseEvents);
      return box;
    }
    case Ctl::CheckBox:
      return new WholeRectButton<QCheckBox>(caption, &parent);
    case Ctl::Radio:
      return new WholeRectButton<QRadioButton>(caption, &parent);
    case Ctl::Button:
    case Ctl::DefaultButton: {
      auto* button = new Framed<QPushButton, QStyleOptionButton>(&parent);
      button->setText(caption);
      // Enter never presses a button of these dialogs (the dialog swallows
      // it); the default button only looks the part.
      button->setAutoDefault(false);
      button->setDefault(c.kind == Ctl::DefaultButton);
      return button;
    }
    case Ctl::Edit: {
      auto* edit = new Framed<QLineEdit, QStyleOptionFrame>(&parent);
      edit->setText(caption);
      return edit;
    }
    case Ctl::Text: {
      auto* label = new FramedLabel(&parent);
      label->setText(caption);
      label->setAlignment((c.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
      label->setWordWrap(true);
      return label;
    }
    case Ctl::Slider:
      return new TrackBar(&parent);
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
      auto* label = new FramedLabel(&parent);
      label->setPixmap(ProgramIcon().pixmap(32, 32));
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
  }
  return nullptr;
}

}  // namespace

void BuildForm(QWidget& dialog, QSize clientSize, std::span<const FormControl> table,
               const DialogUnits& units) {
  dialog.setFixedSize(
      clientSize.grownBy(QMargins(kClientEdge, kClientEdge, kClientEdge, kClientEdge)));
  std::vector<QWidget*> frames;
  for (const FormControl& c : table) {
    QWidget* w = Make(c, dialog);
    w->setGeometry(units.Map(c.x, c.y, c.w, c.h).translated(kClientEdge, kClientEdge));
    // An icon control takes the size of its icon, here with its frame.
    if (c.kind == Ctl::Icon) w->resize(w->sizeHint());
    w->setProperty(kControlIdProperty, c.id);
    if (c.id != kNoId) w->setObjectName(QStringLiteral("id%1").arg(c.id));
    if (c.kind == Ctl::GroupBox) frames.push_back(w);
  }
  // Backwards, so the frames keep their own order among themselves.
  for (auto it = frames.rbegin(); it != frames.rend(); ++it) (*it)->lower();
}

void PaintClientEdge(QWidget& dialog) {
  QPainter painter(&dialog);
  DrawEdge(painter, dialog.rect(), dialog.palette(), Edge::Sunken);
}

QWidget* FindControl(const QWidget& dialog, int id) {
  if (id == kNoId) return nullptr;
  return dialog.findChild<QWidget*>(QStringLiteral("id%1").arg(id), Qt::FindDirectChildrenOnly);
}

}  // namespace vz
