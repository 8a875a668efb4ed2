// The simulated hardware set: a CPivlink whose devices live in a bench file
// (see BenchFormat.h), shared with other processes and people.
#pragma once

#include <map>
#include <string>

#include "device/BenchFile.h"
#include "device/Backend.h"
#include "files/UniqueFd.h"

namespace toggra {

class CBenchPivlink : public CBackendPivlink {
 public:
  // `logPath`, when not empty, receives one line per command: the wire trace.
  // Problems with either file go to `errors`, by default to stderr.
  CBenchPivlink(std::string benchPath, std::string logPath,
                BenchFile::ErrorSink errors = {});

  int OpenArvendal() override;
  int GetUSBType(int device) override;
  int GetSwitchConfig(int device, int* switchCount, int* buttonAvailable) override;
  int GetOnlineOnCount(int device) override;
  int IsAmpel(int device) override;
  int GetVersion(int device) override;
  int GetSerialNumber(int device) override;
  int IsCutter(int device) override;
  int GetSwitch(int device, int switchId) override;
  int SetSwitch(int device, int switchId, int on) override;
  int GetMultiSwitch(int device, unsigned long* mask, unsigned long* value, int seq) override;
  int ResetDevice(int device) override;
  // A bench device is named by its index in the file.
  std::string DeviceName(int device) override { return std::to_string(device); }
  // The bench stands in for the classic devices.
  DeviceHardware Hardware(int device) override {
    const int type = GetUSBType(device);
    if (type <= 0) return {};
    return {"Arvendal GmbH", "USB type " + std::to_string(type)};
  }

 private:
  // The device as the file has it now; null when the number is not one of
  // the opened devices or the file cannot be read.
  const BenchDevice* Device(int device);
  int Field(int device, int BenchDevice::*member);
  void Log(const std::string& line);

  BenchFile::ErrorSink m_errors;
  BenchFile m_file;
  std::string m_logPath;
  UniqueFd m_log;
  int m_openCount = 0;               // devices found by the last OpenArvendal
  std::map<int, int> m_configCalls;  // GetSwitchConfig calls so far, per device
};

}  // namespace toggra
