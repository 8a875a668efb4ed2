// The data exchange and the hidden controls of the duration dialog.
#include "trafficlight/TimerDlg.h"

#include <climits>
#include <cstdint>

#include "app/Ids.h"

namespace toggra {

namespace {

constexpr const char* kNotAnInteger = "Geben Sie eine ganze Zahl ein.";
constexpr const char* kNotAMinuteOrSecond = "Geben Sie eine ganze Zahl zwischen 0 und 59 ein.";
constexpr int kMaxMinuteOrSecond = 59;

// Optional blanks, an optional sign, digits, optional blanks; the value must
// fit in 32 bits.
std::optional<int> ParseInteger(const std::string& text) {
  size_t pos = 0;
  auto blank = [&text](size_t p) { return p < text.size() && (text[p] == ' ' || text[p] == '\t'); };
  while (blank(pos)) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  const size_t digitsStart = pos;
  int64_t value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    value = value * 10 + (text[pos++] - '0');
    if (value > static_cast<int64_t>(INT_MAX) + 1) return std::nullopt;
  }
  if (pos == digitsStart) return std::nullopt;
  while (blank(pos)) ++pos;
  if (pos != text.size()) return std::nullopt;
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) return std::nullopt;
  return static_cast<int>(value);
}

struct NumberField {
  int CToggraTimerDlg::*member;
  bool minuteOrSecond;  // hours are not limited, not even to positive values
};

// In the order of kTimerNumberFields.
constexpr std::array<NumberField, 9> kNumberFields{{
    {&CToggraTimerDlg::m_hours, false},
    {&CToggraTimerDlg::m_minutes, true},
    {&CToggraTimerDlg::m_seconds, true},
    {&CToggraTimerDlg::m_hours2, false},
    {&CToggraTimerDlg::m_minutes2, true},
    {&CToggraTimerDlg::m_seconds2, true},
    {&CToggraTimerDlg::m_hoursT, false},
    {&CToggraTimerDlg::m_minutesT, true},
    {&CToggraTimerDlg::m_secondsT, true},
}};

// Plain switch: the second and total rows with their labels and frame, and
// the protocol and candidate fields.
constexpr int kFirstTrafficLightOnly = kIdHours2;
constexpr int kLastTrafficLightOnly = kIdCandidate;

}  // namespace

std::optional<TimerFieldError> ExchangeTimerFields(const std::array<std::string, 9>& numberTexts,
                                                   const std::string& protocol,
                                                   const std::string& candidate,
                                                   CToggraTimerDlg& dlg) {
  CToggraTimerDlg result = dlg;
  for (size_t k = 0; k < kNumberFields.size(); ++k) {
    const std::optional<int> value = ParseInteger(numberTexts[k]);
    if (!value) return TimerFieldError{kTimerNumberFields[k], kNotAnInteger};
    if (kNumberFields[k].minuteOrSecond && (*value < 0 || *value > kMaxMinuteOrSecond))
      return TimerFieldError{kTimerNumberFields[k], kNotAMinuteOrSecond};
    result.*kNumberFields[k].member = *value;
  }
  result.m_protocol = protocol;
  result.m_candidateName = candidate;
  dlg = result;
  return std::nullopt;
}

std::vector<int> HiddenTimerControls(int trafficLightMode) {
  std::vector<int> hidden;
  if (!trafficLightMode) {
    for (int id = kFirstTrafficLightOnly; id <= kLastTrafficLightOnly; ++id) hidden.push_back(id);
    hidden.push_back(kIdGroupGreenYellow);
    hidden.push_back(kIdGroupYellowRed);
  }
  hidden.push_back(kIdGroupGreenRed);
  return hidden;
}

}  // namespace toggra
