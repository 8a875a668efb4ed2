// `ftdi`: relay boards driven by an FT245R's pins in bit-bang mode (USB id
// 0403:6001), through libftdi1. That id is in countless serial adapters and
// programmers too, so a board is opened only when an entry names it (or
// `ftdi:*` asks for all), never by default. Opening one takes it from the
// kernel's serial driver (its ttyUSB node goes away while Toggra holds it).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "device/DeviceRegistry.h"
#include "device/ftdi/FtdiEntry.h"
#include "device/kit/Driver.h"

struct ftdi_context;

namespace toggra {

class CFtdiDriver : public IDriver {
 public:
  struct Options {
    // A board that does not answer within this time fails the request.
    int timeoutMs = 1000;
    // Milliseconds, monotonic: paces the search for a board that went away.
    std::function<int64_t()> nowMs;
    DeviceErrorSink errors;  // by default stderr
  };

  CFtdiDriver(ftdi::FtdiEntry entry, Options options);
  ~CFtdiDriver() override;

  // A board is named by its serial; one without a serial, or whose serial
  // another board shares, by "SERIAL@LOCATION" ("@1-1.4" without serial).
  std::vector<DriverDevice> Enumerate() override;
  bool Read(int device, DriverReading* reading, std::string* error) override;
  bool Write(int device, int channel, bool on, std::string* error) override;

  // Every 0403:6001 device present, as `ftdi:SERIAL` entries that say it may
  // be a relay board; none is switched or taken from its driver.
  static std::vector<std::pair<std::string, std::string>> Available();

 private:
  struct ContextCloser {
    void operator()(ftdi_context* context) const;
  };
  using Context = std::unique_ptr<ftdi_context, ContextCloser>;
  struct Board {
    std::string name;
    std::string node;  // the usbfs node, for messages
    Context context;   // null while the board is away
    int64_t retryAt = 0;
  };

  Board* Find(int device);
  // Opens the board named `name` into a new context and puts it in bit-bang
  // mode with its relays as they were; null with *error when it cannot.
  Context Open(const std::string& name, std::string* node, std::string* error);
  bool Ready(Board& board, std::string* error);
  void Lost(Board& board);
  void Say(const std::string& message);

  ftdi::FtdiEntry m_entry;
  Options m_options;
  std::vector<Board> m_boards;
  std::mutex m_mutex;                // m_reported and the error sink
  std::set<std::string> m_reported;  // messages said once
};

// Registers `ftdi:SERIAL[:RELAYS]` and `ftdi:*[:RELAYS]`; no default entry.
void RegisterFtdi(CDeviceRegistry& registry);

}  // namespace toggra
