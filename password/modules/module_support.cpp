#include "module_support.h"

#include <pwd.h>
#include <cerrno>
#include <unistd.h>

#include <QApplication>
#include <QWidget>
#include <QWindow>

namespace vz {
namespace {

// QApplication keeps references to argc and argv for its whole life.
int app_argc = 1;
char app_name[] = "vivedaziv-password";
char* app_argv[] = {app_name, nullptr};

constexpr int kDefaultPromptTimeoutMs = 30'000;

}  // namespace

ApplicationScope::ApplicationScope() {
  QCoreApplication* existing = QCoreApplication::instance();
  if (existing == nullptr) {
    owned_ = std::make_unique<QApplication>(app_argc, app_argv);
    canShowWidgets_ = true;
  } else {
    canShowWidgets_ = qobject_cast<QApplication*>(existing) != nullptr;
  }
}

ApplicationScope::~ApplicationScope() = default;

QByteArray CurrentUserName() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  QByteArray buffer(size > 0 ? size : 16384, '\0');
  passwd entry{};
  passwd* found = nullptr;
  while (getpwuid_r(getuid(), &entry, buffer.data(),
                    static_cast<std::size_t>(buffer.size()), &found) == ERANGE) {
    buffer.resize(buffer.size() * 2);
  }
  if (found == nullptr || found->pw_name == nullptr) return {};
  return QByteArray(found->pw_name);
}

OwnerWindow::OwnerWindow(unsigned long window_id) {
  if (window_id == 0) return;
  widget_ = QWidget::find(static_cast<WId>(window_id));
  if (widget_ == nullptr) {
    foreign_.reset(QWindow::fromWinId(static_cast<WId>(window_id)));
  }
}

OwnerWindow::~OwnerWindow() = default;

void OwnerWindow::Adopt(QWidget* dialog) const {
  if (widget_ != nullptr || foreign_ == nullptr) return;
  dialog->winId();
  if (QWindow* handle = dialog->windowHandle()) {
    handle->setTransientParent(foreign_.get());
  }
}

int PositiveEnvironmentMs(const char* variable, int fallback) {
  bool ok = false;
  const int ms = qEnvironmentVariableIntValue(variable, &ok);
  return ok && ms > 0 ? ms : fallback;
}

int PromptTimeoutMs() {
  return PositiveEnvironmentMs("VIVEDAZIV_PROMPT_TIMEOUT_MS", kDefaultPromptTimeoutMs);
}

}  // namespace vz
