// One GPIO chip and the lines requested on it, through whichever libgpiod
// this build has: the line-based API of libgpiod 1.x (GpioLines1.cpp) or the
// request-based API of libgpiod 2.x (GpioLines2.cpp), chosen at configure
// time. Only the library calls live here; what the lines mean is the
// back-end's business. Failures leave errno set.
#pragma once

#include <memory>
#include <string>

namespace toggra::gpio {

class GpioChip {
 public:
  struct LineInfo {
    bool used = false;    // requested by a program or the kernel
    bool output = false;  // its direction as the kernel reports it now
    std::string consumer;
  };

  // By number (`0`), name (`gpiochip0`), label or path under /dev; null
  // when there is no such chip.
  static std::unique_ptr<GpioChip> Open(const std::string& chip);
  ~GpioChip();
  GpioChip(const GpioChip&) = delete;
  GpioChip& operator=(const GpioChip&) = delete;

  std::string Name() const;   // the kernel's name, `gpiochip0`
  std::string Label() const;  // the driver's label
  // The offset of a line given by its offset or its name; false when the chip
  // has no such line.
  bool Find(const std::string& line, unsigned* offset) const;
  bool Info(unsigned offset, LineInfo* info) const;

  // Requests one line for output: starting inactive, or keeping its current
  // direction and level (`asIs`). It stays requested while the chip is open.
  bool Request(unsigned offset, const char* consumer, bool asIs, bool activeLow);
  bool IsRequested(unsigned offset) const;
  // The logical level of a requested line, or -1.
  int Get(unsigned offset) const;
  bool Set(unsigned offset, int value);

 private:
  struct Impl;
  explicit GpioChip(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> m_impl;
};

}  // namespace toggra::gpio
