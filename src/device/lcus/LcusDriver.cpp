#include "device/lcus/LcusDriver.h"

#include <cstdio>

#include "device/Channels.h"
#include "device/lcus/LcusWire.h"
#include "device/serial/SerialEntry.h"

namespace toggra {

namespace {

constexpr int kVersion = 1;
constexpr const char* kSyntax = "expected lcus:PATH[:N] with an absolute PATH and N relays (1 to 8)";

}  // namespace

CLcusDriver::CLcusDriver(std::string path, int relays, Timing timing, DeviceErrorSink errors)
    : m_path(std::move(path)),
      m_name(serial::LastPart(m_path)),
      m_relays(relays),
      m_timing(timing),
      m_errors(errors ? std::move(errors) : DeviceErrorSink(ReportDeviceError)) {}

std::vector<DriverDevice> CLcusDriver::Enumerate() {
  DriverDevice d;
  d.name = m_name;
  for (int r = 1; r <= m_relays; ++r) d.channels.push_back(std::to_string(r));
  d.version = kVersion;
  d.serial = NameSerial("lcus:" + m_name);
  return {d};
}

void CLcusDriver::Tell(const std::string& message) {
  if (message == m_told) return;
  m_told = message;
  m_errors("lcus: " + m_name + ": " + message);
}

bool CLcusDriver::Connect(std::string* error) {
  if (m_port.IsOpen()) return true;
  if (!m_port.Open(m_path, lcus::kBaud, error)) return false;
  // A module plugged in anew starts with its relays off, and may be another
  // module: what it answers is found out again.
  m_status = Status::kUnknown;
  m_written = 0;
  return true;
}

void CLcusDriver::Lose() { m_port.Close(); }

bool CLcusDriver::Read(int /*device*/, DriverReading* reading, std::string* error) {
  if (!Connect(error)) return false;
  if (m_status == Status::kSilent) {
    // Nothing to ask: only whether the module is still there.
    if (m_port.HungUp()) {
      Lose();
      *error = m_path + ": the module is gone";
      return false;
    }
    reading->on = m_written;
    return true;
  }
  m_port.DropInput();
  std::vector<uint8_t> answer;
  if (!m_port.Write({lcus::kStatusQuery}, m_timing.write, error) ||
      !m_port.ReadAnswer(m_timing.answer, m_timing.quiet, lcus::kMaxAnswer, &answer, error)) {
    Lose();
    return false;
  }
  uint32_t on = 0;
  if (lcus::ParseStatus(answer, m_relays, &on)) {
    if (m_status == Status::kUnknown) Tell("answers the status query: its relays are read back");
    m_status = Status::kAnswers;
    reading->on = on;
    return true;
  }
  if (m_status == Status::kAnswers) {
    *error = answer.empty() ? "no answer to the status query any more"
                            : "the answer to the status query was not understood: \"" +
                                  lcus::Printable(answer) + "\"";
    return false;
  }
  m_status = Status::kSilent;
  Tell((answer.empty() ? std::string("no answer to the status query (FF)")
                       : "the answer to the status query (FF) was not understood: \"" +
                             lcus::Printable(answer) + "\" (expected lines \"CH1: ON\" ... \"CH" +
                             std::to_string(m_relays) + ": OFF\")") +
       "; its relays show the levels last written");
  reading->on = m_written;
  return true;
}

bool CLcusDriver::Write(int /*device*/, int channel, bool on, std::string* error) {
  if (channel < 0 || channel >= m_relays) return false;
  if (!Connect(error)) return false;
  const lcus::Frame frame = lcus::SwitchFrame(channel + 1, on);
  if (!m_port.Write({frame.begin(), frame.end()}, m_timing.write, error)) {
    Lose();
    return false;
  }
  m_written = on ? m_written | 1u << channel : m_written & ~(1u << channel);
  return true;
}

// The relays keep their states when the program ends (IDriver::Reset).

std::vector<std::pair<std::string, std::string>> CLcusDriver::Available() {
  std::vector<std::pair<std::string, std::string>> entries;
  for (const serial::UsbSerialPort& p :
       serial::FindUsbSerialPorts({std::begin(lcus::kChipIds), std::end(lcus::kChipIds)})) {
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", p.vendor, p.product);
    std::string text = "CH340/CH341 serial port " + serial::LastPart(p.node) + " (" + ids +
                       "), possibly a relay module: add :N for N relays (lcus:" + p.path +
                       ":4); an RS-485 adapter takes modbus:" + p.path;
    if (!p.problem.empty()) text += "; " + p.problem;
    entries.emplace_back("lcus:" + p.path, text);
  }
  return entries;
}

void RegisterLcus(CDeviceRegistry& registry) {
  BackendInfo info;
  info.name = "lcus";
  info.driver = [](const std::string& argument, std::string* reason) -> std::unique_ptr<IDriver> {
    std::string path;
    std::vector<uint32_t> numbers;
    if (!serial::SplitPathNumbers(argument, 1, &path, &numbers) ||
        (!numbers.empty() && (numbers[0] < 1 || numbers[0] > lcus::kMaxRelays))) {
      *reason = kSyntax;
      return nullptr;
    }
    return std::make_unique<CLcusDriver>(path, numbers.empty() ? 1 : static_cast<int>(numbers[0]));
  };
  info.available = &CLcusDriver::Available;
  registry.Register(std::move(info));
}

}  // namespace toggra
