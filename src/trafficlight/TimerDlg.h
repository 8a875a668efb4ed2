// The duration dialog "Dauer" (template 148): the values it exchanges and the
// checks of its data exchange.
#pragma once

#include <string>
#include <vector>

namespace toggra {

class CToggraTimerDlg {
 public:
  int m_hours = 0, m_minutes = 0, m_seconds = 0;     // 1082, 1099, 1100
  int m_hours2 = 0, m_minutes2 = 0, m_seconds2 = 0;  // 1110, 1111, 1112
  int m_hoursT = 0, m_minutesT = 0, m_secondsT = 0;  // 1116, 1118, 1120
  int m_trafficLightMode = 0;
  std::string m_protocol;       // 1124
  std::string m_candidateName;  // 1126
};

}  // namespace toggra
