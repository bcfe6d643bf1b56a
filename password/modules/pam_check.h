#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <sys/types.h>

class QSocketNotifier;

namespace vz {

class Secret;

// One password check by the PAM helper program, in a process of its own so
// that PAM can neither crash nor stall the caller: the event loop runs on
// while it works. A helper that crashes, answers anything but acceptance, or
// takes longer than the timeout (then it is killed) is a refusal.
class PamCheck : public QObject {
 public:
  // `done` is called once with the verdict, unless the check is destroyed
  // first (which kills a helper still running).
  PamCheck(QObject* parent, std::function<void(bool accepted)> done);
  ~PamCheck() override;
  PamCheck(const PamCheck&) = delete;
  PamCheck& operator=(const PamCheck&) = delete;

  // Starts the helper for `user` and hands it `password`. False, without a
  // call to `done`, when the helper cannot be started.
  bool Start(const QString& helper, const QByteArray& user, const Secret& password,
             int timeout_ms);

 private:
  void ReadAnswer();
  void Complete(bool accepted);
  void StopHelper();

  std::function<void(bool)> done_;
  pid_t pid_ = -1;
  int socket_ = -1;
  QSocketNotifier* notifier_ = nullptr;
  QTimer timeout_;
  QByteArray answer_;
};

// The helper program beside the password module that runs this code.
QString PamHelperPath();

// How long the helper may take: 30 s, or VIVEDAZIV_PAM_TIMEOUT_MS when that
// is a positive whole number.
int PamTimeoutMs();

}  // namespace vz
