#include "device/modbus/ModbusBus.h"

#include <modbus.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <system_error>

#include "device/serial/SerialEntry.h"

namespace toggra::modbus {

namespace {

constexpr unsigned kSpeeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

std::mutex& BusesMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<std::string, std::weak_ptr<CModbusBus>>& Buses() {
  static auto* buses = new std::map<std::string, std::weak_ptr<CModbusBus>>;
  return *buses;
}

std::string RealPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string result = real;
  std::free(real);
  return result;
}

void SetTimeout(modbus_t* ctx, std::chrono::milliseconds t,
                int (*set)(modbus_t*, uint32_t, uint32_t)) {
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(t).count();
  set(ctx, static_cast<uint32_t>(us / 1000000), static_cast<uint32_t>(us % 1000000));
}

}  // namespace

std::shared_ptr<CModbusBus> CModbusBus::Get(const std::string& path, unsigned baud, Timing timing,
                                            std::string* reason) {
  if (std::find(std::begin(kSpeeds), std::end(kSpeeds), baud) == std::end(kSpeeds)) {
    *reason = std::to_string(baud) + " baud is not a serial speed (1200 to 115200)";
    return nullptr;
  }
  // A by-path link and the node it leads to are one bus. A port that is not
  // there yet is known by the path named.
  const std::string key = RealPath(path);
  std::lock_guard lock(BusesMutex());
  std::weak_ptr<CModbusBus>& slot = Buses()[key];
  if (auto bus = slot.lock()) {
    if (bus->m_baud != baud) {
      *reason = path + " is used at " + std::to_string(bus->m_baud) +
                " baud by another entry; the boards on one bus share its speed";
      return nullptr;
    }
    return bus;
  }
  std::shared_ptr<CModbusBus> bus(new CModbusBus(path, baud, timing));
  slot = bus;
  return bus;
}

CModbusBus::CModbusBus(std::string path, unsigned baud, Timing timing)
    : m_path(std::move(path)), m_baud(baud), m_timing(timing) {}

CModbusBus::~CModbusBus() { Close(); }

void CModbusBus::Close() {
  if (!m_ctx) return;
  modbus_close(m_ctx);
  modbus_free(m_ctx);
  m_ctx = nullptr;
}

bool CModbusBus::Connect(std::string* error) {
  if (m_ctx) return true;
  modbus_t* ctx = modbus_new_rtu(m_path.c_str(), static_cast<int>(m_baud), 'N', 8, 1);
  if (!ctx) {
    *error = m_path + ": " + modbus_strerror(errno);
    return false;
  }
  SetTimeout(ctx, m_timing.response, &modbus_set_response_timeout);
  SetTimeout(ctx, m_timing.byte, &modbus_set_byte_timeout);
  errno = 0;
  if (modbus_connect(ctx) != 0) {
    *error = serial::OpenFailureText(m_path, errno ? errno : EIO);
    modbus_free(ctx);
    return false;
  }
  m_ctx = ctx;
  return true;
}

std::string CModbusBus::Failure(int error, int address, const char* function) {
  const std::string at = "address " + std::to_string(address);
  switch (error) {
    case ETIMEDOUT:
      modbus_flush(m_ctx);
      return "no answer from " + at + " within " + std::to_string(m_timing.response.count()) +
             " ms (check the board's address, its speed of " + std::to_string(m_baud) +
             " baud and the A/B wiring)";
    case EMBBADCRC:
      modbus_flush(m_ctx);
      return "the answer from " + at + " had a wrong checksum (CRC): noise on the bus, or "
             "another speed";
    case EMBBADSLAVE:
      modbus_flush(m_ctx);
      return "the answer to " + at + " came from another address";
    case EMBBADDATA:
    case EMBMDATA:
    case EMBBADEXC:
    case EMBUNKEXC:
      modbus_flush(m_ctx);
      return "the answer from " + at + " to " + function + " was not understood (" +
             modbus_strerror(error) + ")";
    default:
      break;
  }
  if (error > MODBUS_ENOBASE && error <= EMBXGTAR)
    return "the board at " + at + " refuses " + function + " (" + modbus_strerror(error) +
           "); boards that keep their relays in holding registers are not supported";
  // The port itself failed: the adapter is gone, or the node went stale.
  Close();
  return m_path + ": the port failed (" + std::generic_category().message(error) + ")";
}

bool CModbusBus::ReadCoils(int address, int count, uint32_t* on, std::string* error) {
  std::lock_guard lock(m_mutex);
  if (!Connect(error)) return false;
  uint8_t bits[32] = {};
  modbus_set_slave(m_ctx, address);
  if (modbus_read_bits(m_ctx, 0, count, bits) != count) {
    *error = Failure(errno, address, "reading coils (function 1)");
    return false;
  }
  uint32_t mask = 0;
  for (int k = 0; k < count; ++k)
    if (bits[k]) mask |= 1u << k;
  *on = mask;
  return true;
}

bool CModbusBus::WriteCoil(int address, int coil, bool on, std::string* error) {
  std::lock_guard lock(m_mutex);
  if (!Connect(error)) return false;
  modbus_set_slave(m_ctx, address);
  if (modbus_write_bit(m_ctx, coil, on ? 1 : 0) != 1) {
    *error = Failure(errno, address, "writing a coil (function 5)");
    return false;
  }
  return true;
}

}  // namespace toggra::modbus
