// A PASSWORD.CPL that loads but lacks VerifyScreenSavePwd, as a broken or
// foreign module would.

extern "C" __attribute__((visibility("default"))) int VerifyScreenSavePassword(
    unsigned long) {
  return 1;
}
