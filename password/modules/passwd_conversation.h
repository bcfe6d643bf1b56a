#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

#include "passwd_program.h"

class QSocketNotifier;

namespace vz {

class Secret;

// Reads passwd's terminal and tells prompts from messages: a line it has
// begun but not ended, after which it falls silent, is a question waiting
// for an answer (at once when it ends with a colon, as passwd's prompts do;
// after half a second otherwise). Every complete line is a message, handed
// on with the next prompt or at the end.
//
// Waits for passwd are bounded: when it neither asks nor ends within the
// timeout after starting or after an answer, it is killed and the
// conversation ends as Unanswered. Nothing waits while a person types.
class PasswdConversation : public QObject {
 public:
  struct End {
    enum class How { Exited, Unanswered };
    How how = How::Exited;
    // Wait status, for Exited.
    int status = 0;
    // What passwd printed after the last prompt.
    QStringList lines;
    // The last question asked, empty when there was none.
    QString last_prompt;
  };

  explicit PasswdConversation(int timeout_ms);
  ~PasswdConversation() override;
  PasswdConversation(const PasswdConversation&) = delete;
  PasswdConversation& operator=(const PasswdConversation&) = delete;

  // Called with the lines passwd printed since the last prompt and the new
  // prompt's text.
  std::function<void(const QStringList& lines, const QString& prompt)> on_prompt;
  // Called once when passwd has ended or been given up on; not after Stop().
  std::function<void(const End& end)> on_end;

  // Starts passwd. 0, or the errno value of what failed.
  int Start(const char* path);
  // Sends the answer to the current prompt, straight from locked memory.
  void Answer(const Secret& answer);
  // Kills passwd; nothing more is called.
  void Stop();

  int TimeoutMs() const { return timeoutMs_; }

 private:
  void ReadOutput();
  void TakeLines();
  void Ask();
  void CheckExit();
  void Finish(End::How how, int status);

  const int timeoutMs_;
  PasswdProcess process_;
  std::unique_ptr<QSocketNotifier> notifier_;
  QTimer settle_;
  QTimer reply_;
  QTimer exitPoll_;
  QByteArray partial_;
  QStringList lines_;
  QString lastPrompt_;
  bool running_ = false;
};

}  // namespace vz
