#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  // A private settings home, set before QSettings first resolves its paths
  // (it does so once per process). CTest runs every test in its own process.
  QTemporaryDir config_home;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_home.path()));
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  // PAM unloads its modules at pam_end; keeping pam_matrix mapped lets leak
  // reports name it (see tests/lsan.supp).
  dlopen(VZ_TEST_PAM_MATRIX_MODULE, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
