// "Geräte und Verbindungen…" on the demo bench: what it finds, the connection
// test against a closed port, and what OK leaves in the user's toggra.conf.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <cstdlib>

#include "device/DeviceRegistry.h"
#include "gui/DevicesDialog.h"
#include "support/MemoryRegistry.h"
#include "support/TempDir.h"

namespace toggra::gui {
namespace {

class DevicesDialogTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string bench = dir.File("demo.bench");
  std::string conf = dir.File("toggra/toggra.conf");
  test::MemoryRegistry hive;

  void SetUp() override {
    test::TempDir::Write(bench, test::TempDir::Read(TOGGRA_SOURCE_DIR "/data/demo.bench"));
    std::filesystem::create_directories(dir.Path() / "toggra");
    test::TempDir::Write(conf, "# Werkstatt\n[devices]\nentries = bench:" + bench +
                                   "\n\n[caption]\n# Pumpen\nbench:0:1 = Hauptpumpe\n");
    ::setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    ::setenv("TOGGRA_SYSTEM_CONF", dir.File("none.conf").c_str(), 1);
    ::unsetenv("TOGGRA_DEVICES");
    ::unsetenv("TOGGRA_BENCH");
    ::unsetenv("TOGGRA_MQTT");
  }
  void TearDown() override {
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("TOGGRA_SYSTEM_CONF");
  }
  int Row(QTableWidget* table, const QString& id) {
    for (int i = 0; i < table->rowCount(); ++i)
      if (table->item(i, 0)->text() == id) return i;
    return -1;
  }
};

TEST_F(DevicesDialogTest, ShowsTheHardwareAndWritesTicksBrokerAndCaptionsKeepingComments) {
  CDevicesDialog dialog(BuiltinRegistry(), &hive);
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Scanned(); }, 5000));

  QListWidget* devices = dialog.DeviceList();
  ASSERT_GE(devices->count(), 1);
  EXPECT_TRUE(devices->item(0)->text().startsWith(QString::fromStdString("bench:" + bench)));
  EXPECT_TRUE(devices->item(0)->text().endsWith(QString::fromUtf8("Kanäle")));
  EXPECT_EQ(devices->item(0)->checkState(), Qt::Checked);
  QTableWidget* captions = dialog.CaptionTable();
  const int first = Row(captions, "bench:0:1"), second = Row(captions, "bench:0:2");
  ASSERT_GE(first, 0);
  ASSERT_GE(second, 0);
  EXPECT_EQ(captions->item(first, 1)->text(), "Hauptpumpe");
  EXPECT_TRUE(dialog.Status()->text().contains(QString::fromUtf8("ab dem nächsten Start")));

  // Nothing listens on port 1 of the loopback address.
  dialog.MqttField("url")->setText("mqtt://127.0.0.1:1");
  QTest::mouseClick(dialog.TestButton(), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.TestButton()->isEnabled(); }, 5000));
  EXPECT_TRUE(dialog.TestResult()->text().startsWith("Fehler: ")) << dialog.TestResult()->text().toStdString();

  captions->item(first, 1)->setText("");
  captions->item(second, 1)->setText("Pumpe");
  dialog.MqttField("prefix")->setText("werkstatt");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  const std::string written = test::TempDir::Read(conf);
  EXPECT_EQ(written, "# Werkstatt\n[devices]\nentries = bench:" + bench +
                         "\n\n[caption]\n# Pumpen\nbench:0:2 = Pumpe\n\n[mqtt]\nurl = mqtt://127.0.0.1:1\n"
                         "prefix = werkstatt\n");

  // Without the tick the device is no longer used.
  CDevicesDialog again(BuiltinRegistry(), &hive);
  ASSERT_TRUE(QTest::qWaitFor([&] { return again.Scanned(); }, 5000));
  EXPECT_EQ(again.MqttField("prefix")->text(), "werkstatt");
  again.DeviceList()->item(0)->setCheckState(Qt::Unchecked);
  again.accept();
  EXPECT_NE(test::TempDir::Read(conf).find("\nentries = \n"), std::string::npos);
}

}  // namespace
}  // namespace toggra::gui
