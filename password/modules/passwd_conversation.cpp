#include "passwd_conversation.h"

#include <QSocketNotifier>

#include "secret.h"

namespace vz {
namespace {

// How long passwd must stay silent after an unfinished line before it
// counts as a question.
constexpr int kPromptSettleMs = 50;
constexpr int kUnusualPromptSettleMs = 500;
constexpr int kExitPollMs = 100;
// Enough for any message passwd has; more is noise, not conversation.
constexpr qsizetype kMaxLines = 40;
constexpr qsizetype kMaxLineBytes = 1000;

// A line of terminal output as text: no carriage returns, no control
// characters, no padding.
QString Clean(const QByteArray& bytes) {
  QString text = QString::fromUtf8(bytes);
  text.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
  return text.trimmed();
}

}  // namespace

PasswdConversation::PasswdConversation(int timeout_ms) : timeoutMs_(timeout_ms) {
  settle_.setSingleShot(true);
  reply_.setSingleShot(true);
  connect(&settle_, &QTimer::timeout, this, [this] { Ask(); });
  connect(&reply_, &QTimer::timeout, this, [this] {
    process_.Stop();
    Finish(End::How::Unanswered, 0);
  });
  connect(&exitPoll_, &QTimer::timeout, this, [this] { CheckExit(); });
}

PasswdConversation::~PasswdConversation() { Stop(); }

int PasswdConversation::Start(const char* path) {
  if (running_) return EBUSY;
  if (const int error = process_.Start(path); error != 0) return error;
  running_ = true;
  notifier_ = std::make_unique<QSocketNotifier>(process_.Terminal(), QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { ReadOutput(); });
  reply_.start(timeoutMs_);
  exitPoll_.start(kExitPollMs);
  return 0;
}

void PasswdConversation::Answer(const Secret& answer) {
  if (!running_) return;
  // A failed write means passwd is gone or stuck; the exit poll or the
  // timeout tells which.
  if (process_.Write(answer.Data(), answer.Size())) process_.Write("\n", 1);
  reply_.start(timeoutMs_);
}

void PasswdConversation::Stop() {
  running_ = false;
  settle_.stop();
  reply_.stop();
  exitPoll_.stop();
  notifier_.reset();
  process_.Stop();
}

void PasswdConversation::ReadOutput() {
  char buffer[1024];
  for (;;) {
    const ssize_t n = process_.Read(buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      // Closed: it reads as ready for ever. The exit poll takes over.
      if (notifier_) notifier_->setEnabled(false);
      break;
    }
    partial_.append(buffer, n);
    TakeLines();
  }
  if (!running_) return;
  const QString unfinished = Clean(partial_);
  if (unfinished.isEmpty()) {
    settle_.stop();
  } else if (reply_.isActive()) {
    settle_.start(unfinished.endsWith(QLatin1Char(':')) ? kPromptSettleMs
                                                        : kUnusualPromptSettleMs);
  }
}

void PasswdConversation::TakeLines() {
  qsizetype end;
  while ((end = partial_.indexOf('\n')) >= 0) {
    const QString line = Clean(partial_.left(end));
    partial_.remove(0, end + 1);
    if (line.isEmpty()) continue;
    lines_.append(line.left(kMaxLineBytes));
    if (lines_.size() > kMaxLines) lines_.removeFirst();
  }
  if (partial_.size() > kMaxLineBytes) partial_ = partial_.right(kMaxLineBytes);
}

void PasswdConversation::Ask() {
  // An unfinished last line of a passwd that is ending asks nothing.
  CheckExit();
  const QString prompt = Clean(partial_);
  if (!running_ || prompt.isEmpty()) return;
  partial_.clear();
  reply_.stop();
  lastPrompt_ = prompt;
  const QStringList lines = lines_;
  lines_.clear();
  if (on_prompt) on_prompt(lines, prompt);
}

void PasswdConversation::CheckExit() {
  int status = 0;
  if (!running_ || !process_.Ended(&status)) return;
  // Whatever it printed last is still in the terminal.
  char buffer[1024];
  ssize_t n;
  while ((n = process_.Read(buffer, sizeof buffer)) > 0) {
    partial_.append(buffer, n);
    TakeLines();
  }
  partial_.append('\n');
  TakeLines();
  Finish(End::How::Exited, status);
}

void PasswdConversation::Finish(End::How how, int status) {
  End end;
  end.how = how;
  end.status = status;
  end.lines = lines_;
  end.last_prompt = lastPrompt_;
  Stop();
  if (on_end) on_end(end);
}

}  // namespace vz
