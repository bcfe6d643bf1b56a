#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <functional>
#include <vector>

#include "../desktop_config.h"

namespace vz::test {

// The build's module directory and the one holding the PASSWORD.CPL without
// its routine.
QString BuiltModuleDirectory();
QString NoRoutineModuleDirectory();

// Points VIVEDAZIV_MODULE_DIR at `directory` for the life of the object.
class ModuleDirectoryOverride {
 public:
  explicit ModuleDirectoryOverride(const QString& directory);
  ~ModuleDirectoryOverride();

 private:
  QByteArray previous_;
  bool had_previous_;
};

QByteArray CurrentUser();

// A pam_matrix password file for the current user in a fresh directory,
// named in PAM_MATRIX_PASSWD while the object lives. pam_matrix reads the
// variable and the file at every call.
class PasswordFile {
 public:
  explicit PasswordFile(const QByteArray& password,
                        const QByteArray& service = "vivedaziv");
  ~PasswordFile();

  // The password the file holds now for the current user.
  QByteArray Password() const;
  QByteArray Contents() const;

 private:
  QTemporaryDir directory_;
  QString path_;
};

// Plays a script against the modal dialogs a blocking call opens: each step
// runs once on the next modal widget it has not yet seen. Start() it before
// the call. When a step's modal does not show up in time, or more modals show
// up than there are steps, the leftovers are rejected so the call returns,
// and Problems() says what went wrong.
class ModalScript {
 public:
  using Step = std::function<void(QWidget* modal)>;

  ModalScript& Then(Step step);
  void Start(int timeout_ms = 20'000);

  bool Complete() const { return next_ == steps_.size(); }
  // Every modal seen, described as "title | label texts".
  const QStringList& Seen() const { return seen_; }
  const QStringList& Problems() const { return problems_; }

 private:
  void Poll();

  std::vector<Step> steps_;
  std::size_t next_ = 0;
  QStringList seen_;
  QStringList problems_;
  qint64 deadline_ = 0;
  bool timed_out_ = false;
  // Owns the polling timers, so none outlives the script.
  QObject context_;
};

// Every step ran on its own dialog and no other dialog showed up.
::testing::AssertionResult Played(const ModalScript& script);
// No dialog showed up at all.
::testing::AssertionResult NoDialog(const ModalScript& script);

// Title and all label texts of a dialog.
QString Describe(QWidget* modal);
// Sends `text` as key clicks to the dialog's focus field, then Enter.
void TypeAndEnter(QWidget* modal, const QString& text);
void Type(QWidget* modal, const QString& text);
void PressKey(QWidget* modal, Qt::Key key);

}  // namespace vz::test
