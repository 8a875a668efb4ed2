#include "trafficlight/TimerDlg.h"

namespace toggra {

std::optional<TimerFieldError> ExchangeTimerFields(const std::array<std::string, 9>&,
                                                   const std::string&, const std::string&,
                                                   CToggraTimerDlg&) {
  return std::nullopt;
}
std::vector<int> HiddenTimerControls(int) { return {}; }

}  // namespace toggra
