#include "gui/DevicesDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace toggra::gui {

namespace {

constexpr std::chrono::seconds kTestTimeout{10};

struct MqttRow {
  const char* key;
  const char* label;
  const char* hint;
};
constexpr MqttRow kMqttRows[] = {
    {"url", "&Broker:", "mqtt://[BENUTZER@]RECHNER[:PORT] oder mqtts://…"},
    {"password-file", "&Passwortdatei:", "Datei mit dem Passwort (Modus 0600)"},
    {"ca-file", "&CA-Zertifikate:", "leer: die des Systems"},
    {"cert-file", "Client-&Zertifikat:", "leer: keins"},
    {"key-file", "Client-&Schlüssel:", "leer: keiner"},
    {"prefix", "&Themenpräfix:", "leer: toggra/RECHNERNAME"},
    {"discovery-prefix", "&Discovery-Präfix:", "leer: homeassistant"},
};

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

CDevicesDialog::CDevicesDialog(const CDeviceRegistry& backends, IRegistry* registry,
                               QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Geräte und Verbindungen"));
  auto* layout = new QVBoxLayout(this);

  auto* hardware = new QGroupBox(QStringLiteral("&Geräte (angehakt: werden verwendet)"), this);
  auto* hardwareLayout = new QVBoxLayout(hardware);
  m_devices = new QListWidget(hardware);
  m_devices->addItem(QStringLiteral("Suche Geräte…"));
  hardwareLayout->addWidget(m_devices);
  layout->addWidget(hardware);

  auto* broker = new QGroupBox(QStringLiteral("&MQTT"), this);
  auto* form = new QFormLayout(broker);
  for (const MqttRow& row : kMqttRows) {
    auto* edit = new QLineEdit(broker);
    edit->setPlaceholderText(QString::fromUtf8(row.hint));
    edit->setObjectName(QString::fromUtf8(row.key));
    form->addRow(QString::fromUtf8(row.label), edit);
    m_mqtt.emplace_back(row.key, edit);
  }
  m_test = new QPushButton(QStringLiteral("&Verbindung prüfen"), broker);
  m_testResult = new QLabel(broker);
  m_testResult->setWordWrap(true);
  auto* testRow = new QHBoxLayout;
  testRow->addWidget(m_test);
  testRow->addWidget(m_testResult, 1);
  form->addRow(testRow);
  layout->addWidget(broker);
  connect(m_test, &QPushButton::clicked, this, &CDevicesDialog::TestConnection);

  auto* names = new QGroupBox(QStringLiteral("&Beschriftungen der Spalten"), this);
  auto* namesLayout = new QVBoxLayout(names);
  m_captions = new QTableWidget(0, 2, names);
  m_captions->setHorizontalHeaderLabels({QStringLiteral("Kanal"), QStringLiteral("Beschriftung")});
  m_captions->horizontalHeader()->setStretchLastSection(true);
  m_captions->verticalHeader()->hide();
  namesLayout->addWidget(m_captions);
  layout->addWidget(names);

  m_status = new QLabel(this);
  m_status->setWordWrap(true);
  layout->addWidget(m_status);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
  connect(buttons, &QDialogButtonBox::accepted, this, &CDevicesDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CDevicesDialog::reject);
  layout->addWidget(buttons);
  buttons->button(QDialogButtonBox::Ok)->setEnabled(false);

  // Opening the back-ends talks to the hardware: not on this thread.
  QPointer<CDevicesDialog> self(this);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  m_worker = std::thread([this, self, ok, &backends, registry] {
    config::DeviceSetup setup = config::ScanDeviceSetup(backends, registry);
    QMetaObject::invokeMethod(this, [this, self, ok, setup] {
      if (!self) return;
      Show(setup);
      ok->setEnabled(true);
    }, Qt::QueuedConnection);
  });
}

CDevicesDialog::~CDevicesDialog() { Join(); }

void CDevicesDialog::Join() {
  if (m_worker.joinable()) m_worker.join();
}

QLineEdit* CDevicesDialog::MqttField(const char* key) const {
  for (const auto& [name, edit] : m_mqtt)
    if (std::string(name) == key) return edit;
  return nullptr;
}

void CDevicesDialog::Show(const config::DeviceSetup& setup) {
  m_setup = setup;
  m_devices->clear();
  for (const config::SetupDevice& d : setup.devices) {
    auto* item = new QListWidgetItem(Text(d.entry + "  —  " + d.description), m_devices);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(d.used ? Qt::Checked : Qt::Unchecked);
    if (d.problem) item->setForeground(Qt::darkRed);
  }
  config::SetupMqtt mqtt = setup.mqtt;
  for (const auto& [key, edit] : m_mqtt) edit->setText(Text(*config::MqttField(mqtt, key)));
  m_captions->setRowCount(static_cast<int>(setup.channels.size()));
  for (int i = 0; i < static_cast<int>(setup.channels.size()); ++i) {
    const config::SetupChannel& c = setup.channels[static_cast<size_t>(i)];
    auto* id = new QTableWidgetItem(Text(c.id));
    id->setFlags(id->flags() & ~Qt::ItemIsEditable);
    id->setToolTip(Text("ohne Beschriftung: " + c.shown));
    m_captions->setItem(i, 0, id);
    m_captions->setItem(i, 1, new QTableWidgetItem(Text(c.caption)));
  }
  m_captions->resizeColumnToContents(0);
  m_status->setText(Text("OK schreibt " + setup.userFile +
                         "; die Einstellungen gelten ab dem nächsten Start."));
  m_scanned = true;
}

config::SetupMqtt CDevicesDialog::MqttFromFields() const {
  config::SetupMqtt m;
  for (const auto& [key, edit] : m_mqtt) *config::MqttField(m, key) = edit->text().trimmed().toStdString();
  return m;
}

void CDevicesDialog::TestConnection() {
  Join();
  m_test->setEnabled(false);
  m_testResult->setText(QStringLiteral("Verbinde…"));
  const config::SetupMqtt mqtt = MqttFromFields();
  QPointer<CDevicesDialog> self(this);
  m_worker = std::thread([this, self, mqtt] {
    std::string result;
    const bool ok = config::TryMqttConnection(mqtt, kTestTimeout, &result);
    QMetaObject::invokeMethod(this, [this, self, ok, result] {
      if (!self) return;
      m_testResult->setText((ok ? QStringLiteral("Verbunden: ") : QStringLiteral("Fehler: ")) +
                            Text(result));
      m_test->setEnabled(true);
    }, Qt::QueuedConnection);
  });
}

void CDevicesDialog::accept() {
  if (!m_scanned) return;
  for (int i = 0; i < m_devices->count() && i < static_cast<int>(m_setup.devices.size()); ++i)
    m_setup.devices[static_cast<size_t>(i)].used = m_devices->item(i)->checkState() == Qt::Checked;
  m_setup.mqtt = MqttFromFields();
  for (int i = 0; i < m_captions->rowCount(); ++i)
    m_setup.channels[static_cast<size_t>(i)].caption =
        m_captions->item(i, 1)->text().trimmed().toStdString();
  std::string reason;
  if (!config::SaveDeviceSetup(m_setup, &reason)) {
    QMessageBox::warning(this, QStringLiteral("Geräte und Verbindungen"),
                         Text("Die Einstellungen wurden nicht gespeichert:\n" + reason));
    return;
  }
  QDialog::accept();
}

}  // namespace toggra::gui
