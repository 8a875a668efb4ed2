// A serial port opened raw (termios) for a relay module that talks in bytes:
// 8N1 at one speed, no flow control, nothing done to the bytes. Every wait
// is bounded by a timeout the caller gives.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace toggra::serial {

class CSerialPort {
 public:
  CSerialPort() = default;
  ~CSerialPort();
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  // Opens `path` at `baud` 8N1; false with *error (the reason and its fix).
  bool Open(const std::string& path, unsigned baud, std::string* error);
  void Close();
  bool IsOpen() const { return m_fd >= 0; }

  // Writes all of `bytes` and waits until they are sent (at most `limit`).
  bool Write(const std::vector<uint8_t>& bytes, std::chrono::milliseconds limit,
             std::string* error);
  // Drops what was received and not read yet.
  void DropInput();
  // What arrives: waits at most `first` for a first byte, then takes bytes
  // until none came for `quiet` (or `max` bytes are in). False only when the
  // port failed (*error); no answer is an empty result.
  bool ReadAnswer(std::chrono::milliseconds first, std::chrono::milliseconds quiet, size_t max,
                  std::vector<uint8_t>* bytes, std::string* error);
  // True when the device behind the port went away (hang-up), without waiting.
  bool HungUp() const;

 private:
  int m_fd = -1;
  std::string m_path;
};

}  // namespace toggra::serial
