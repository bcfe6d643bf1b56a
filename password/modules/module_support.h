#pragma once

#include <memory>

#include <QByteArray>
#include <QPointer>

class QApplication;
#include <QWidget>
class QWindow;

namespace vz {

// The modules run inside the saver's QApplication. A host without Qt still
// gets its dialogs: then a QApplication is made for the call and destroyed
// afterwards.
class ApplicationScope {
 public:
  ApplicationScope();
  ~ApplicationScope();
  ApplicationScope(const ApplicationScope&) = delete;
  ApplicationScope& operator=(const ApplicationScope&) = delete;

  // False when the process has a Qt application that cannot show widgets
  // (a QCoreApplication or QGuiApplication).
  bool CanShowWidgets() const { return canShowWidgets_; }

 private:
  std::unique_ptr<QApplication> owned_;
  bool canShowWidgets_ = false;
};

// The login name of the real user running the process; empty when unknown.
QByteArray CurrentUserName();

// The window our dialogs belong to, given as an X11 id: a widget of this
// process when there is one with that id, otherwise a foreign window that
// the dialog is kept above as transient parent.
class OwnerWindow {
 public:
  explicit OwnerWindow(unsigned long window_id);
  ~OwnerWindow();
  OwnerWindow(const OwnerWindow&) = delete;
  OwnerWindow& operator=(const OwnerWindow&) = delete;

  // A widget of this process to parent dialogs to, or nullptr.
  QWidget* Widget() const { return widget_; }
  // For dialogs made without a parent widget: ties `dialog` to the foreign
  // window, if any. Creates the dialog's native window.
  void Adopt(QWidget* dialog) const;

 private:
  QPointer<QWidget> widget_;
  std::unique_ptr<QWindow> foreign_;
};

// The value of `variable` when it is a positive whole number, else `fallback`.
int PositiveEnvironmentMs(const char* variable, int fallback);

// How long a password prompt waits for a key before giving up: 30 s, or
// VIVEDAZIV_PROMPT_TIMEOUT_MS when that is a positive whole number.
int PromptTimeoutMs();

}  // namespace vz
