#include "pam_session.h"

#include <security/pam_appl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "locked_bytes.h"

namespace vz {
namespace {

void DropResponses(pam_response* responses, int count) {
  if (responses == nullptr) return;
  for (int i = 0; i < count; ++i) {
    if (responses[i].resp != nullptr) {
      WipeBytes(responses[i].resp, std::strlen(responses[i].resp));
      std::free(responses[i].resp);
    }
  }
  std::free(responses);
}

}  // namespace

PamSession::PamSession(const char* service, const char* user,
                       PamConversation& conversation)
    : conversation_(conversation) {
  const pam_conv conv{&PamSession::Converse, this};
  startResult_ = pam_start(service, user, &conv, &handle_);
  lastResult_ = startResult_;
  if (startResult_ != PAM_SUCCESS) handle_ = nullptr;
}

PamSession::~PamSession() {
  if (handle_ != nullptr) pam_end(handle_, lastResult_);
}

int PamSession::Record(int result) {
  lastResult_ = result;
  return result;
}

int PamSession::Authenticate() {
  if (handle_ == nullptr) return startResult_;
  return Record(pam_authenticate(handle_, 0));
}

int PamSession::CheckAccount() {
  if (handle_ == nullptr) return startResult_;
  return Record(pam_acct_mgmt(handle_, 0));
}

int PamSession::ChangeAuthToken() {
  if (handle_ == nullptr) return startResult_;
  return Record(pam_chauthtok(handle_, 0));
}

std::string PamSession::ErrorText(int result) const {
  // pam_strerror ignores the handle in Linux-PAM, so this also works when
  // pam_start itself failed.
  const char* text = pam_strerror(handle_, result);
  if (text != nullptr) return text;
  // Not std::to_string: its digit table is a unique symbol, which would keep
  // the module from ever being unloaded.
  char fallback[32];
  std::snprintf(fallback, sizeof fallback, "PAM error %d", result);
  return fallback;
}

int PamSession::Converse(int count, const pam_message** messages,
                         pam_response** responses, void* data) {
  if (count <= 0 || count > PAM_MAX_NUM_MSG || messages == nullptr) {
    return PAM_CONV_ERR;
  }
  auto* self = static_cast<PamSession*>(data);
  // Some modules pass no response array along with pure messages
  // (PAM_TEXT_INFO, PAM_ERROR_MSG); those are still shown. A prompt without
  // a place for its answer cannot be served.
  if (responses == nullptr) {
    for (int i = 0; i < count; ++i) {
      const int style = messages[i]->msg_style;
      if (style == PAM_PROMPT_ECHO_OFF || style == PAM_PROMPT_ECHO_ON) {
        return PAM_CONV_ERR;
      }
    }
  }
  auto* answers =
      static_cast<pam_response*>(std::calloc(count, sizeof(pam_response)));
  if (answers == nullptr) return PAM_BUF_ERR;
  // Linux-PAM passes an array of pointers to messages.
  for (int i = 0; i < count; ++i) {
    bool go_on = false;
    try {
      go_on = self->conversation_.Answer(messages[i]->msg_style,
                                         messages[i]->msg, &answers[i].resp);
    } catch (const std::exception&) {
      go_on = false;
    }
    if (!go_on) {
      DropResponses(answers, count);
      return PAM_CONV_ERR;
    }
  }
  if (responses != nullptr) {
    *responses = answers;
  } else {
    DropResponses(answers, count);
  }
  return PAM_SUCCESS;
}

}  // namespace vz
