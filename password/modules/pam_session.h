#pragma once

#include <string>

struct pam_handle;
struct pam_message;
struct pam_response;

namespace vz {

// What a PAM module asks of the user, answered one message at a time.
class PamConversation {
 public:
  virtual ~PamConversation() = default;
  // Answers a prompt (PAM_PROMPT_ECHO_OFF/ON) through `reply` with a
  // malloc'ed string, which PAM frees; for messages leaves it null. Returning
  // false aborts the whole conversation (PAM_CONV_ERR).
  virtual bool Answer(int style, const char* text, char** reply) = 0;
};

// One PAM transaction for `user` with the service `service`: pam_start on
// construction, pam_end with the last result on destruction.
class PamSession {
 public:
  PamSession(const char* service, const char* user,
             PamConversation& conversation);
  ~PamSession();
  PamSession(const PamSession&) = delete;
  PamSession& operator=(const PamSession&) = delete;

  // PAM_SUCCESS when pam_start worked; every call below fails otherwise.
  int StartResult() const { return startResult_; }

  int Authenticate();
  int CheckAccount();
  int ChangeAuthToken();

  // pam_strerror's text for a result of this session.
  std::string ErrorText(int result) const;

 private:
  static int Converse(int count, const pam_message** messages,
                      pam_response** responses, void* data);
  int Record(int result);

  PamConversation& conversation_;
  pam_handle* handle_ = nullptr;
  int startResult_;
  int lastResult_;
};

}  // namespace vz
