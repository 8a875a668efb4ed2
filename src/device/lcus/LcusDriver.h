// `lcus`: a CH340/CH341 serial relay module at a path, one device with one
// channel per relay. The module is asked for its relays once it is opened;
// one that answers is read back from then on, one that answers nothing (most
// do) or something not understood shows the levels last written, and the
// back-end says which it found.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "device/DeviceRegistry.h"
#include "device/kit/Driver.h"
#include "device/serial/SerialPort.h"

namespace toggra {

struct LcusTiming {
  std::chrono::milliseconds answer{200};  // for the first byte of a status answer
  std::chrono::milliseconds quiet{30};    // after which an answer is complete
  std::chrono::milliseconds write{500};   // for a frame to go out
};

class CLcusDriver : public IDriver {
 public:
  using Timing = LcusTiming;
  // `errors` receives what the back-end found about the module (by default
  // stderr).
  CLcusDriver(std::string path, int relays, Timing timing = {}, DeviceErrorSink errors = {});

  // Always the one device, named by the last part of the path; a module
  // that is not plugged in reads unreachable until it is.
  std::vector<DriverDevice> Enumerate() override;
  bool Read(int device, DriverReading* reading, std::string* error) override;
  bool Write(int device, int channel, bool on, std::string* error) override;

  // The CH340/CH341 ttys present, as `lcus:PATH` entries with a description.
  static std::vector<std::pair<std::string, std::string>> Available();

 private:
  enum class Status { kUnknown, kAnswers, kSilent };
  bool Connect(std::string* error);
  void Lose();
  void Tell(const std::string& message);

  std::string m_path;
  std::string m_name;
  int m_relays;
  Timing m_timing;
  DeviceErrorSink m_errors;
  serial::CSerialPort m_port;
  Status m_status = Status::kUnknown;
  uint32_t m_written = 0;  // the levels last written, while the module is kept
  std::string m_told;      // the last finding told, not repeated
};

// Registers `lcus:PATH[:N]`.
void RegisterLcus(CDeviceRegistry& registry);

}  // namespace toggra
