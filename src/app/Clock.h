// Time and sleeping, injected so that nothing time-dependent needs a real wait
// in the tests.
#pragma once

#include <cstdint>

namespace toggra {

class IClock {
 public:
  virtual ~IClock() = default;
  // Seconds since 1970, 64 bits (_time64).
  virtual int64_t Time64() = 0;
  // Blocks the calling thread for ms milliseconds.
  virtual void Sleep(int ms) = 0;
};

class CSystemClock : public IClock {
 public:
  int64_t Time64() override;
  void Sleep(int ms) override;
};

// A semaphore with count 0 or 1 on the one event thread: it marks a
// multi-step lamp change in progress. Nothing can release it while a wait
// runs, so waiting at count 0 could only ever end by its limit; it returns at
// once instead of pausing the program for nothing.
class CSemaphore {
 public:
  // WaitForSingleObject: true when the count was 1 (it becomes 0), otherwise
  // false at once; `ms` is the limit a wait on another thread would have.
  bool Wait(int ms);
  // ReleaseSemaphore with a count of 1: false when the count already was 1.
  bool Release();
  int Count() const { return m_count; }

 private:
  int m_count = 0;  // created with initial count 0, maximum 1
};

}  // namespace toggra
