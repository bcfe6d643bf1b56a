// PAM modules that fail the way a broken one does in the field: built twice,
// as pam_vz_crash.so (dies of SIGSEGV) and pam_vz_hang.so (never returns).

#include <security/pam_modules.h>
#include <signal.h>
#include <unistd.h>

extern "C" {

PAM_EXTERN int pam_sm_authenticate(pam_handle_t*, int, int, const char**) {
#ifdef VZ_PAM_CRASH
  raise(SIGSEGV);
#endif
  for (;;) pause();
}

PAM_EXTERN int pam_sm_setcred(pam_handle_t*, int, int, const char**) { return PAM_SUCCESS; }

PAM_EXTERN int pam_sm_acct_mgmt(pam_handle_t*, int, int, const char**) { return PAM_SUCCESS; }

}  // extern "C"
