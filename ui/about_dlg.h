#pragma once

#include <QDialog>

namespace vz {

// The About box (template 134): product name, version and notices beside the
// program icon, shown twice. It has no buttons: Escape, Enter and the close
// box dismiss it.
class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace vz
