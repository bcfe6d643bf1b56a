#include "about_dlg.h"

#include <QKeyEvent>
#include <array>

#include "dialog_form.h"
#include "frame_hints.h"

namespace vz {

namespace {
// Template 134.
constexpr std::array<FormControl, 3> kAboutForm = {{
    {kNoId, Ctl::Text,
     "Vivedaziv Version 2.2\n"
     "Coloured particles drawn together by gravity.\n"
     "Copyright \u00A9 Quenfold. All rights reserved.",
     7, 7, 151, 45},
    {kNoId, Ctl::Icon, "", 162, 7, 22, 20},
    {kNoId, Ctl::Icon, "", 162, 32, 22, 20},
}};
}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setWindowTitle(QStringLiteral("About Vivedaziv..."));
  setFont(TemplateFont());
  const DialogUnits units(font());
  BuildForm(*this, units.Map(191, 61), kAboutForm, units);
}

void CAboutDlg::showEvent(QShowEvent* event) {
  // A caption with a close box only.
  if (!event->spontaneous()) SetFrameHints(*this, true);
  QDialog::showEvent(event);
  if (!event->spontaneous()) LogClippedCaptions(*this);
}

void CAboutDlg::paintEvent(QPaintEvent*) { PaintClientEdge(*this); }

void CAboutDlg::keyPressEvent(QKeyEvent* event) {
  // With no button to press, Enter ends the box as OK would.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace vz
