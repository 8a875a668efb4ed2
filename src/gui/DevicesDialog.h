// "Geräte und Verbindungen…": the hardware of every back-end with a tick per
// device, the broker with a connection test, and the columns' captions; OK
// writes the user's toggra.conf, which counts from the next start. Scanning
// and the connection test run on a thread of their own.
#pragma once

#include <QDialog>
#include <thread>

#include "config/DeviceSetup.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace toggra {
class CDeviceRegistry;
class IRegistry;
}  // namespace toggra

namespace toggra::gui {

class CDevicesDialog : public QDialog {
 public:
  CDevicesDialog(const CDeviceRegistry& backends, IRegistry* registry, QWidget* parent = nullptr);
  ~CDevicesDialog() override;

  void accept() override;

  // For tests: true once the scan has filled the lists.
  bool Scanned() const { return m_scanned; }
  QListWidget* DeviceList() const { return m_devices; }
  QTableWidget* CaptionTable() const { return m_captions; }
  QLineEdit* MqttField(const char* key) const;
  QPushButton* TestButton() const { return m_test; }
  QLabel* TestResult() const { return m_testResult; }
  QLabel* Status() const { return m_status; }

 private:
  void Show(const config::DeviceSetup& setup);
  void TestConnection();
  config::SetupMqtt MqttFromFields() const;
  void Join();

  config::DeviceSetup m_setup;
  QListWidget* m_devices = nullptr;
  QTableWidget* m_captions = nullptr;
  std::vector<std::pair<const char*, QLineEdit*>> m_mqtt;
  QPushButton* m_test = nullptr;
  QLabel* m_testResult = nullptr;
  QLabel* m_status = nullptr;
  std::thread m_worker;
  bool m_scanned = false;
};

}  // namespace toggra::gui
