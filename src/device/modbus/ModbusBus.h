// One RS-485 bus behind one serial port, through libmodbus (RTU). Boards at
// different addresses on one bus share it: their drivers run on threads of
// their own, and a bus carries one request and its answer at a time, so the
// bus is one object per port for the whole process, and each transaction
// holds its lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

typedef struct _modbus modbus_t;

namespace toggra::modbus {

struct Timing {
  std::chrono::milliseconds response{300};  // for an answer to begin
  std::chrono::milliseconds byte{50};       // between the bytes of an answer
};

class CModbusBus {
 public:
  // The bus on `path` (its real path shared by every entry that names it),
  // made on first use. Null with *reason when the port is already used at
  // another speed or `baud` is no serial speed. Nothing is opened yet.
  static std::shared_ptr<CModbusBus> Get(const std::string& path, unsigned baud, Timing timing,
                                         std::string* reason);
  ~CModbusBus();
  CModbusBus(const CModbusBus&) = delete;
  CModbusBus& operator=(const CModbusBus&) = delete;

  // Function 1: coils 0..count-1 of the board at `address`, coil k in bit k.
  bool ReadCoils(int address, int count, uint32_t* on, std::string* error);
  // Function 5: coil `coil` on (FF00) or off (0000).
  bool WriteCoil(int address, int coil, bool on, std::string* error);

  unsigned Baud() const { return m_baud; }

 private:
  CModbusBus(std::string path, unsigned baud, Timing timing);
  bool Connect(std::string* error);
  void Close();
  // What a failed transaction means, for *error; closes the port when it
  // is gone.
  std::string Failure(int error, int address, const char* function);

  const std::string m_path;
  const unsigned m_baud;
  const Timing m_timing;
  std::mutex m_mutex;
  modbus_t* m_ctx = nullptr;  // while connected
};

}  // namespace toggra::modbus
