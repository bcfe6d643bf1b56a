#include "embedded_dialog.h"

#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QPainter>
#include <QPushButton>
#include <QWindow>
#include <qdrawutil.h>

namespace vz {
namespace {

constexpr int kFrameWidth = 2;

// Places, frames, titles and focuses an embedded dialog.
class Panel : public QObject {
 public:
  explicit Panel(QDialog* dialog) : QObject(dialog), dialog_(dialog) {
    QFont bold = dialog->font();
    bold.setBold(true);
    titleHeight_ = QFontMetrics(bold).height() + 6;
    dialog->setContentsMargins(kFrameWidth, kFrameWidth + titleHeight_, kFrameWidth, kFrameWidth);
    dialog->installEventFilter(this);
  }

  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Show) Place();
    if (event->type() == QEvent::Paint) DrawFrame();
    // Made again with its host window (after another program destroyed it):
    // the new X window carries the title too.
    if (event->type() == QEvent::WinIdChange) SetNativeTitle();
    return false;
  }

 private:
  void Place() {
    const QWidget* host = dialog_->parentWidget();
    if (host == nullptr) return;
    dialog_->adjustSize();
    dialog_->move((host->width() - dialog_->width()) / 2, (host->height() - dialog_->height()) / 2);
    SetNativeTitle();
    dialog_->raise();
    if (QWidget* focus = FocusTarget()) focus->setFocus(Qt::OtherFocusReason);
  }

  void SetNativeTitle() {
    if (QWindow* handle = dialog_->windowHandle()) handle->setTitle(dialog_->windowTitle());
  }

  void DrawFrame() {
    QPainter painter(dialog_);
    qDrawShadePanel(&painter, dialog_->rect(), dialog_->palette(), false, kFrameWidth);
    QFont bold = dialog_->font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(dialog_->palette().windowText().color());
    const QRect title(kFrameWidth + 8, kFrameWidth, dialog_->width() - 2 * kFrameWidth - 16,
                      titleHeight_);
    painter.drawText(title, Qt::AlignLeft | Qt::AlignVCenter, dialog_->windowTitle());
  }

  // What a dialog window would focus first: its focus proxy, else its
  // default button, else its first control that takes the focus.
  QWidget* FocusTarget() const {
    if (dialog_->focusProxy() != nullptr) return dialog_->focusProxy();
    const auto buttons = dialog_->findChildren<QPushButton*>();
    for (QPushButton* b : buttons) {
      if (b->isDefault()) return b;
    }
    const auto children = dialog_->findChildren<QWidget*>();
    for (QWidget* w : children) {
      if (w->focusPolicy() & Qt::TabFocus) return w;
    }
    return nullptr;
  }

  QDialog* dialog_;
  int titleHeight_;
};

}  // namespace

bool CanEmbedIn(const QWidget* owner) { return owner != nullptr && owner->isVisible(); }

void EmbedInWindow(QDialog* dialog, QWidget* owner) {
  dialog->setParent(owner, Qt::Widget);
  dialog->setAttribute(Qt::WA_NativeWindow);
  dialog->setAutoFillBackground(true);
  dialog->setCursor(Qt::ArrowCursor);
  new Panel(dialog);
}

int ExecDialog(QDialog* dialog) {
  if (dialog->isWindow()) return dialog->exec();
  dialog->setResult(QDialog::Rejected);
  dialog->setWindowModality(Qt::NonModal);  // a QMessageBox makes itself modal
  QEventLoop loop;
  QObject::connect(dialog, &QDialog::finished, &loop, &QEventLoop::quit);
  dialog->show();
  // QCoreApplication::exit() ends this loop too; the dialog is then rejected.
  loop.exec(QEventLoop::DialogExec);
  if (dialog->isVisible()) dialog->hide();
  return dialog->result();
}

}  // namespace vz
