// A clock that moves only when the test says so; sleeps are recorded.
#pragma once

#include <vector>

#include "app/Clock.h"

namespace toggra::test {

class ManualClock : public IClock {
 public:
  int64_t Time64() override { return m_now; }
  void Sleep(int ms) override { m_sleeps.push_back(ms); }

  void Set(int64_t seconds) { m_now = seconds; }
  void Advance(int64_t seconds) { m_now += seconds; }
  const std::vector<int>& Sleeps() const { return m_sleeps; }
  void ClearSleeps() { m_sleeps.clear(); }

 private:
  int64_t m_now = 1'700'000'000;
  std::vector<int> m_sleeps;
};

}  // namespace toggra::test
