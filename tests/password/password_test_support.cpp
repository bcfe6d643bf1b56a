#include "password_test_support.h"

#include <pwd.h>
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

namespace vz::test {

QString BuiltModuleDirectory() { return QStringLiteral(VZ_TEST_MODULE_DIR); }

QString NoRoutineModuleDirectory() {
  return QStringLiteral(VZ_TEST_NO_ROUTINE_MODULE_DIR);
}

ModuleDirectoryOverride::ModuleDirectoryOverride(const QString& directory)
    : previous_(qgetenv("VIVEDAZIV_MODULE_DIR")),
      had_previous_(qEnvironmentVariableIsSet("VIVEDAZIV_MODULE_DIR")) {
  qputenv("VIVEDAZIV_MODULE_DIR", QFile::encodeName(directory));
}

ModuleDirectoryOverride::~ModuleDirectoryOverride() {
  if (had_previous_) {
    qputenv("VIVEDAZIV_MODULE_DIR", previous_);
  } else {
    qunsetenv("VIVEDAZIV_MODULE_DIR");
  }
}

QByteArray CurrentUser() {
  const passwd* entry = getpwuid(getuid());
  return entry != nullptr ? QByteArray(entry->pw_name) : QByteArray();
}

PasswordFile::PasswordFile(const QByteArray& password,
                           const QByteArray& service)
    : path_(directory_.filePath(QStringLiteral("passdb"))) {
  QFile file(path_);
  if (file.open(QIODevice::WriteOnly)) {
    // Another user first, so a lookup that stops at the first line fails.
    file.write("somebody-else:" + password + ":" + service + "\n");
    file.write(CurrentUser() + ":" + password + ":" + service + "\n");
  }
  qputenv("PAM_MATRIX_PASSWD", QFile::encodeName(path_));
}

PasswordFile::~PasswordFile() { qunsetenv("PAM_MATRIX_PASSWD"); }

QByteArray PasswordFile::Contents() const {
  QFile file(path_);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray PasswordFile::Password() const {
  for (const QByteArray& line : Contents().split('\n')) {
    const QList<QByteArray> fields = line.split(':');
    if (fields.size() == 3 && fields[0] == CurrentUser()) return fields[1];
  }
  return {};
}

ModalScript& ModalScript::Then(Step step) {
  steps_.push_back(std::move(step));
  return *this;
}

void ModalScript::Start(int timeout_ms) {
  deadline_ = QDateTime::currentMSecsSinceEpoch() + timeout_ms;
  QTimer::singleShot(0, &context_, [this] { Poll(); });
}

namespace {

// A modal window, or a dialog shown inside another window (as the password
// prompt and its error box are over a saver of this process).
QWidget* CurrentDialog() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  const auto widgets = QApplication::allWidgets();
  for (QWidget* w : widgets) {
    if (!w->isWindow() && w->isVisible() && qobject_cast<QDialog*>(w) != nullptr) return w;
  }
  return nullptr;
}

}  // namespace

void ModalScript::Poll() {
  QWidget* modal = CurrentDialog();
  const bool fresh = modal != nullptr && modal->isVisible() &&
                     !modal->property("vz_test_seen").toBool();
  if (fresh) {
    modal->setProperty("vz_test_seen", true);
    seen_ << Describe(modal);
    if (next_ < steps_.size()) {
      steps_[next_++](modal);
    } else {
      problems_ << QStringLiteral("unexpected dialog: ") + Describe(modal);
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    }
  } else if (timed_out_ && modal != nullptr) {
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
  }
  if (!timed_out_ && !Complete() &&
      QDateTime::currentMSecsSinceEpoch() > deadline_) {
    timed_out_ = true;
    problems_ << QStringLiteral("no dialog came for step %1").arg(next_ + 1);
  }
  QTimer::singleShot(10, &context_, [this] { Poll(); });
}

::testing::AssertionResult Played(const ModalScript& script) {
  if (script.Complete() && script.Problems().isEmpty()) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "dialogs seen:\n  " << script.Seen().join("\n  ").toStdString()
         << "\nproblems:\n  " << script.Problems().join("\n  ").toStdString();
}

::testing::AssertionResult NoDialog(const ModalScript& script) {
  if (script.Seen().isEmpty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "dialogs seen:\n  " << script.Seen().join("\n  ").toStdString();
}

QString Describe(QWidget* modal) {
  QStringList parts{modal->windowTitle()};
  for (const QLabel* label : modal->findChildren<QLabel*>()) {
    if (!label->text().isEmpty()) parts << label->text();
  }
  return parts.join(QStringLiteral(" | "));
}

namespace {

QWidget* KeyTarget(QWidget* modal) {
  if (QWidget* focus = modal->focusWidget()) return focus;
  if (auto* field = modal->findChild<QLineEdit*>()) return field;
  return modal;
}

}  // namespace

void Type(QWidget* modal, const QString& text) {
  QWidget* target = KeyTarget(modal);
  for (QChar c : text) {
    if (c.unicode() < 0x80) {
      QTest::keyClick(target, c.toLatin1());
    } else {
      // QTest maps only ASCII to key codes; send the text with no code.
      QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(c),
                          Qt::NoModifier);
    }
  }
}

void TypeAndEnter(QWidget* modal, const QString& text) {
  Type(modal, text);
  PressKey(modal, Qt::Key_Return);
}

void PressKey(QWidget* modal, Qt::Key key) {
  QTest::keyClick(KeyTarget(modal), key);
}

}  // namespace vz::test
