#pragma once

// The two C routines the saver finds by name in its password modules. The
// program itself has no password logic: it loads PASSWORD.CPL and MPR.DLL at
// run time and calls these.

#define VZ_PASSWORD_ROUTINE extern "C" __attribute__((visibility("default")))

// Asks for the current user's password over the saver window `window` (an X11
// window id) and checks it. Non-zero only when the password was accepted.
VZ_PASSWORD_ROUTINE int VerifyScreenSavePwd(unsigned long window);

// Changes the current user's password when `provider` is "SCRSAVE"; any other
// provider (or none) does nothing and returns 0. `parent` is the X11 id of
// the window owning the dialogs, 0 for none. Returns 0 on success.
VZ_PASSWORD_ROUTINE unsigned long PwdChangePasswordA(const char* provider,
                                                     unsigned long parent,
                                                     unsigned long reserved1,
                                                     unsigned long reserved2);

namespace vz {

using VerifyScreenSavePwdRoutine = int (*)(unsigned long window);
using PwdChangePasswordARoutine = unsigned long (*)(const char* provider,
                                                    unsigned long parent,
                                                    unsigned long reserved1,
                                                    unsigned long reserved2);

inline constexpr char kVerifyModuleFile[] = "PASSWORD.CPL";
inline constexpr char kVerifyRoutineName[] = "VerifyScreenSavePwd";
inline constexpr char kChangeModuleFile[] = "MPR.DLL";
inline constexpr char kChangeRoutineName[] = "PwdChangePasswordA";
inline constexpr char kChangeProvider[] = "SCRSAVE";

// The PAM service both modules talk to (/etc/pam.d/vivedaziv).
inline constexpr char kPamService[] = "vivedaziv";

}  // namespace vz
