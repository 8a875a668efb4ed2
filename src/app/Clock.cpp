#include "app/Clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace toggra {

int64_t CSystemClock::Time64() { return static_cast<int64_t>(std::time(nullptr)); }

void CSystemClock::Sleep(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool CSemaphore::Wait(int /*ms*/) {
  if (m_count > 0) {
    m_count = 0;
    return true;
  }
  return false;
}

bool CSemaphore::Release() {
  if (m_count >= 1) return false;
  m_count = 1;
  return true;
}

}  // namespace toggra
