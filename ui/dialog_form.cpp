#include "dialog_form.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
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

// At the templates' 8 points on a 96 dpi screen, three periods run together
// into what reads as two ("About.."); the caption is drawn with the font's
// ellipsis character for them instead. The button's text stays as the
// template gives it.
class TemplateButton : public Framed<QPushButton, QStyleOptionButton> {
 public:
  using Framed::Framed;

 protected:
  void initStyleOption(QStyleOptionButton* option) const override {
    Framed::initStyleOption(option);
    option->text.replace(QStringLiteral("..."), QString(QChar(0x2026)));
  }
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
      auto* button = new TemplateButton(&parent);
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

Q_LOGGING_CATEGORY(lcDialog, "vivedaziv.dialog", QtWarningMsg)

namespace {

// Whether `text`, laid out with `flags`, needs more room than `room`.
bool Overflows(const QWidget& control, const QRect& room, int flags, const QString& text) {
  const QRect needed = control.fontMetrics().boundingRect(room, flags, text);
  return needed.width() > room.width() || needed.height() > room.height();
}

// The caption of a control that is cut where the style draws it, or a null
// string.
QString ClippedCaption(QWidget& control) {
  QStyle* style = control.style();
  if (auto* label = qobject_cast<QLabel*>(&control)) {
    const int wrap = label->wordWrap() ? Qt::TextWordWrap : 0;
    if (label->text().isEmpty()) return {};
    return Overflows(control, label->contentsRect(), int(label->alignment()) | wrap, label->text())
               ? label->text()
               : QString();
  }
  if (auto* box = qobject_cast<QGroupBox*>(&control)) {
    if (box->title().isEmpty()) return {};
    // As FramedGroupBox draws it: inside the frame.
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = box->title();
    option.textAlignment = box->alignment();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    option.rect = QRect(0, 0, box->width() - 2 * kModalFrame, box->height() - 2 * kModalFrame);
    const QRect label = style->subControlRect(QStyle::CC_GroupBox, &option,
                                              QStyle::SC_GroupBoxLabel, box);
    return option.rect.contains(label) && !Overflows(control, label, Qt::AlignLeft, box->title())
               ? QString()
               : box->title();
  }
  auto* button = qobject_cast<QAbstractButton*>(&control);
  if (button == nullptr || button->text().isEmpty()) return {};
  // The framed controls draw in their contents rectangle.
  QStyleOptionButton option;
  option.initFrom(button);
  option.rect = button->contentsRect();
  option.text = button->text();
  QStyle::SubElement contents = QStyle::SE_PushButtonContents;
  if (qobject_cast<QCheckBox*>(button)) contents = QStyle::SE_CheckBoxContents;
  if (qobject_cast<QRadioButton*>(button)) contents = QStyle::SE_RadioButtonContents;
  const QRect room = style->subElementRect(contents, &option, button);
  return Overflows(control, room, Qt::AlignLeft | Qt::TextShowMnemonic, button->text())
             ? button->text()
             : QString();
}

}  // namespace

void LogClippedCaptions(const QWidget& dialog) {
  if (!lcDialog().isDebugEnabled()) return;
  QStringList clipped;
  for (QWidget* control : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    const QString caption = ClippedCaption(*control);
    if (!caption.isNull()) clipped << QStringLiteral("\"%1\"").arg(caption);
  }
  qCDebug(lcDialog).noquote() << "clipped captions in" << dialog.windowTitle() << "at"
                              << dialog.logicalDpiX() * dialog.devicePixelRatio() << "dpi:"
                              << (clipped.isEmpty() ? QStringLiteral("none") : clipped.join(", "));
}

QWidget* FindControl(const QWidget& dialog, int id) {
  if (id == kNoId) return nullptr;
  return dialog.findChild<QWidget*>(QStringLiteral("id%1").arg(id), Qt::FindDirectChildrenOnly);
}

}  // namespace vz
