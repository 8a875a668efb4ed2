// The duration dialog "Dauer" (template 148): the values it exchanges, the
// checks of its data exchange and the controls it hides. The window itself
// belongs to the front-end, which builds on these.
#pragma once

#include <array>
#include <optional>
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

// The nine number fields in the order of the data exchange.
inline constexpr std::array<int, 9> kTimerNumberFields = {1082, 1099, 1100, 1110, 1111,
                                                          1112, 1116, 1118, 1120};

struct TimerFieldError {
  int controlId = 0;     // the field that gets the focus
  std::string message;   // German validation message
};

// The data exchange from the controls into `dlg`, in its order: the first
// field that is not an integer, or minutes or seconds outside 0 to 59, stops
// it and is returned. numberTexts are the field texts in kTimerNumberFields
// order. On success every member is set and nullopt is returned.
std::optional<TimerFieldError> ExchangeTimerFields(const std::array<std::string, 9>& numberTexts,
                                                   const std::string& protocol,
                                                   const std::string& candidate,
                                                   CToggraTimerDlg& dlg);

// The controls the dialog hides when it opens.
std::vector<int> HiddenTimerControls(int trafficLightMode);

}  // namespace toggra
