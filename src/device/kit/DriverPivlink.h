// The one adapter between the driver kit and the program: any IDriver as a
// CBackendPivlink, with the program's device types, serial numbers, key types
// and inverted channels taken from the driver's DriverDevice.
//
// Served by workers (the programs' mode): each device has a thread of its own
// that carries out the writes in the order they were given and keeps a
// reading fresh. The CPivlink calls never touch the hardware: reads answer
// from the latest reading, writes are queued and return at once. A channel
// written and not yet read back since reads the level written. A device that
// fails is backed off: its channels read unreachable, writes to it are
// refused, and it is tried again at a growing interval. Nothing a device does
// delays the caller or another device.
//
// Served on the caller's thread (toggra-ctl's one-shot commands, driver
// tests): each call goes to the driver at once, with no threads and no
// back-off.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/Backend.h"
#include "device/kit/Driver.h"

namespace toggra {

enum class DriverServing { kWorkers, kCaller };

class CDriverPivlink : public CBackendPivlink {
 public:
  struct Options {
    DriverServing serving = DriverServing::kWorkers;
    // How often a working device is read.
    std::chrono::milliseconds refresh{100};
    // The first and the longest wait before a failed device is tried again.
    std::chrono::milliseconds retryFirst{250};
    std::chrono::milliseconds retryMax{5000};
    // How long OpenArvendal waits for the devices' first readings (all at
    // once), so that the program starts with what the hardware shows.
    std::chrono::milliseconds firstReading{500};
    // Receives the failures of the devices, each once until it works again.
    std::function<void(const std::string&)> errors;
  };

  CDriverPivlink(std::unique_ptr<IDriver> driver, Options options);
  ~CDriverPivlink() override;
  CDriverPivlink(const CDriverPivlink&) = delete;
  CDriverPivlink& operator=(const CDriverPivlink&) = delete;

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
  std::string DeviceName(int device) override;
  std::string ChannelName(int device, int channel) override;
  DeviceHardware Hardware(int device) override;
  bool Settle(int device, int limitMs) override;

  IDriver& Driver() { return *m_driver; }

  // Devices that came since OpenArvendal (IDriver::EnumerateMore), in two
  // steps. PrepareMore runs off the event thread while the present devices
  // are served: it finds them, starts their workers and waits for their first
  // readings, and returns how many it found. CommitMore, on the event thread,
  // counts them in after the present ones and returns how many.
  int PrepareMore();
  int CommitMore();

 private:
  class Worker;
  const DriverDevice* Facts(int device) const;
  void StopWorkers();
  // On the caller's thread.
  bool ReadNow(int device, DriverReading* reading);

  std::unique_ptr<IDriver> m_driver;
  Options m_options;
  std::vector<DriverDevice> m_devices;
  std::vector<std::unique_ptr<Worker>> m_workers;  // by device, in kWorkers mode
  std::vector<uint32_t> m_written;                 // by device, in kCaller mode
  std::vector<DriverDevice> m_moreDevices;          // from PrepareMore for CommitMore
  std::vector<std::unique_ptr<Worker>> m_moreWorkers;
};

}  // namespace toggra
