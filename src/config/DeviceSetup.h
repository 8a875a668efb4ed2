// What the dialog "Geräte und Verbindungen…" shows and writes: the hardware
// every back-end of this build finds (configured or not, with what could not
// be opened), the MQTT settings and the captions, and their way back into the
// user's toggra.conf. Scanning and the connection test do I/O: callers run
// them off the event thread.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "config/Config.h"

namespace toggra {
class CDeviceRegistry;
class IRegistry;
struct MqttConfig;
}  // namespace toggra

namespace toggra::config {

struct SetupDevice {
  std::string entry;        // the device entry (hidrelay:*, usbhub:1-1.4:2,3)
  std::string description;  // what was found, or why it could not be opened
  bool used = false;        // configured now
  bool problem = false;     // configured but not usable
};

struct SetupChannel {
  std::string id;       // BACKEND:DEVICE:CHANNEL
  std::string caption;  // from toggra.conf; empty: none
  std::string shown;    // what the window shows when the file sets nothing
};

struct SetupMqtt {
  std::string url, passwordFile, caFile, certFile, keyFile, prefix, discoveryPrefix;
};

// The field of a [mqtt] key ("url", "ca-file", ...), or null.
std::string* MqttField(SetupMqtt& mqtt, const std::string& key);

struct DeviceSetup {
  std::vector<SetupDevice> devices;
  std::vector<SetupChannel> channels;
  SetupMqtt mqtt;
  std::string userFile;  // where OK writes
};

// Opens every configured entry and asks every back-end for what it offers.
DeviceSetup ScanDeviceSetup(const CDeviceRegistry& backends, IRegistry* registry,
                            const GetEnv& getenv = nullptr);

// Writes the ticked devices, the MQTT settings and the captions into the
// user's file, keeping everything else in it. An MQTT field left empty
// removes its key, so that the machine's file or the hive counts again.
bool SaveDeviceSetup(const DeviceSetup& setup, std::string* reason);

// Connects once with these settings and ends the connection: true when the
// broker accepted; *result is one line for the user either way.
bool TryMqttConnection(const SetupMqtt& mqtt, std::chrono::milliseconds timeout,
                       std::string* result);

}  // namespace toggra::config
