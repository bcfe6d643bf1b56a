#pragma once
// Shared by the settings dialog's tests: a dialog on a settings folder of
// its own, and the means to drive it.

#include <gtest/gtest.h>

#include "config_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <climits>
#include <functional>
#include <map>
#include <memory>

#include "../store_fixture.h"
#include "about_dlg.h"
#include "control_frame.h"
#include "delay_box.h"
#include "dialog_form.h"
#include "dialog_placement.h"
#include "entry_table.h"
#include "program_icon.h"
#include "random.h"
#include "run_config_dialog.h"
#include "settings_store.h"

namespace vz {

using namespace idc;

// Calls `answer` on the next modal window other than `under`, from inside
// that window's own event loop; gives up after five seconds.
inline void WhenModal(QWidget* under, std::function<void(QWidget*)> answer) {
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(500);
  QObject::connect(timer, &QTimer::timeout, [=] {
    QWidget* w = QApplication::activeModalWidget();
    if ((w && w != under) || --*tries == 0) {
      timer->stop();
      timer->deleteLater();
      if (w && w != under) answer(w);
    }
  });
  timer->start(10);
}

class ConfigDlgTest : public StoreFixture {
 protected:
  std::string File() const {
    QFile f(dir_.path() + "/Quenfold/" + Section() + ".conf");
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
  }

  // The file as the run must leave it: the section and exactly these
  // thirteen entries.
  static std::string Expected(const EntryValues& v) {
    std::map<std::string, std::int32_t> sorted;
    for (const EntryInfo& e : kEntries)
      sorted[std::string(e.name)] = static_cast<std::int32_t>(v.*e.field);
    QString text = "[" + Section() + "]\n";
    for (auto& [name, value] : sorted) text += QString("%1=%2\n").arg(name.c_str()).arg(value);
    return text.toStdString();
  }

  // A dialog loaded as the configuration run loads it, shown and active.
  std::unique_ptr<CConfigDlg> Open() {
    auto d = std::make_unique<CConfigDlg>();
    d->SetFields(ReadEntries(SettingsStore(), Section(), DefaultColumn::Dialog));
    d->show();
    EXPECT_TRUE(QTest::qWaitForWindowActive(d.get()));
    return d;
  }

  // Whether `action` restarted the preview: a repaint reseeds, which puts
  // every particle but a planet at rest. Ticks are held off meanwhile.
  static bool Restarts(CConfigDlg& d, const std::function<void()>& action) {
    d.preview.field.params.delay = -1;
    d.preview.RestartTimer();
    QApplication::processEvents();
    d.preview.field.particles[1].vx = 12345.0;
    action();
    return QTest::qWaitFor([&] { return d.preview.field.particles[1].vx == 0.0; }, 2000);
  }

  // Runs configure mode as start-up does; `drive` acts on the shown dialog.
  // A dialog the drive leaves open is cancelled.
  static void Run(const std::function<void(CConfigDlg&)>& drive) {
    WhenModal(nullptr, [&](QWidget* w) {
      auto* d = qobject_cast<CConfigDlg*>(w);
      ASSERT_NE(d, nullptr);
      ASSERT_TRUE(QTest::qWaitForWindowActive(d));
      drive(*d);
      if (d->isVisible()) d->reject();
    });
    RunConfigDialog(0, false);
  }

  template <class T = QWidget>
  static T* Item(const CConfigDlg& d, int id) {
    return qobject_cast<T*>(d.GetDlgItem(id));
  }
  // Clicks near the bottom right corner, inside the frame: check boxes and
  // radio buttons take the click there too, far from box and label.
  static void Click(const CConfigDlg& d, int id) {
    QWidget* w = d.GetDlgItem(id);
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(w->width() - 5, w->height() - 5));
  }
  static void TypeDelay(const CConfigDlg& d, const QString& text) {
    Click(d, kDelay);
    Item<QLineEdit>(d, kDelay)->clear();
    QTest::keyClicks(d.GetDlgItem(kDelay), text);
  }
  // Clicks OK expecting the warning; returns its text.
  static QString RefusedOk(CConfigDlg& d) {
    QString text;
    WhenModal(&d, [&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      text = box->text();
      EXPECT_EQ(box->windowTitle(), Section());
      EXPECT_EQ(box->icon(), QMessageBox::Warning);
      EXPECT_EQ(box->parentWidget(), &d);
      box->accept();
    });
    Click(d, kOk);
    EXPECT_TRUE(d.isVisible()) << "the dialog stays open";
    const auto* edit = Item<QLineEdit>(d, kDelay);
    EXPECT_EQ(d.focusWidget(), edit);
    EXPECT_EQ(edit->selectedText(), edit->text());
    return text;
  }
};

}  // namespace vz
