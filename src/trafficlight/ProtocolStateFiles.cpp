// The protocol file (one line per run) and the state file (the first eight
// switch states, shared with other processes).
#include <algorithm>
#include <array>
#include <cctype>
#include <climits>

#include "app/Format.h"
#include "app/ToggraDlg.h"
#include "trafficlight/ColumnSteps.h"
#include "trafficlight/StateText.h"

namespace toggra {

namespace {

constexpr size_t kMaxStateBytes = 63;
constexpr int kSaveAttempts = 5;
constexpr int kSaveRetryMs = 20;
constexpr int kSemaphoreWaitMs = 500;

// Ticks to seconds, halves rounded up.
int64_t TicksToSeconds(int ticks) {
  return (static_cast<int64_t>(ticks) + column::kTicksPerSecond / 2) / column::kTicksPerSecond;
}

// With a total time: the seconds elapsed since the start. Without one: 0 for
// a completed run, minus the remaining time for a stopped one. Taken in 64
// bits, so durations from anywhere cannot overflow it.
int SecondsUsed(const SwitchRecord& r) {
  const int64_t total = r.m_timerT;
  int64_t v = total;
  if (r.m_countdownT > 0) {
    v = total - TicksToSeconds(r.m_countdownT) - r.m_timer2 - r.m_timer;
  } else if (r.m_countdown > 0) {
    v = total - r.m_timer2 - TicksToSeconds(r.m_countdown);
  } else if (r.m_countdown2 > 0) {
    v = total - TicksToSeconds(r.m_countdown2);
  }
  return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

}  // namespace

int ParseStateValues(const std::string& text, std::array<int, kStateValues>& values) {
  // The bytes are read as the C string they were in a buffer: a zero byte
  // ends the text.
  const size_t end = std::min(text.find('\0'), text.size());
  size_t pos = 0;
  int count = 0;
  while (count < kStateValues) {
    while (pos < end && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    if (pos == end) return count == 0 ? -1 : count;
    const bool negative = text[pos] == '-';
    if (text[pos] == '-' || text[pos] == '+') ++pos;
    const size_t digitsStart = pos;
    int64_t value = 0;
    while (pos < end && std::isdigit(static_cast<unsigned char>(text[pos]))) {
      value = value * 10 + (text[pos] - '0');
      if (value > static_cast<int64_t>(INT_MAX) + 1) return count;
      ++pos;
    }
    if (pos == digitsStart) return count;
    if (negative) value = -value;
    if (value > INT_MAX || value < INT_MIN) return count;
    values[count++] = static_cast<int>(value);
  }
  return count;
}

namespace {

// Holds the dialog's semaphore for one state-file read; the wait returns at
// once and its outcome does not matter (everything runs on one thread).
class SemaphoreHold {
 public:
  explicit SemaphoreHold(CSemaphore& s) : m_semaphore(s) { m_semaphore.Wait(kSemaphoreWaitMs); }
  ~SemaphoreHold() { m_semaphore.Release(); }
  SemaphoreHold(const SemaphoreHold&) = delete;
  SemaphoreHold& operator=(const SemaphoreHold&) = delete;

 private:
  CSemaphore& m_semaphore;
};

void SetStateFileOk(CToggraDlg& d, int ok) {
  if (ok == d.m_stateFileOk) return;
  d.m_stateFileOk = ok;
  d.UpdateTitle();
}

}  // namespace

void CToggraDlg::WriteProtocol(int i) {
  SwitchRecord& r = m_records[i];
  column::SetStartText(*this, i, kStrStart);
  if (!m_protocolFile.empty()) {
    const std::string line = Format(kStrProtocolLine, r.m_candidate.c_str(), SecondsUsed(r));
    if (m_services.files->AppendLine(m_protocolFile, line) != 0) {
      m_services.prompts->MessageBox(kStrCannotOpen, kStrError, true);
      return;
    }
  }
  r.m_countdown = r.m_countdown2 = r.m_countdownT = 0;
}

void CToggraDlg::SaveState() {
  m_stateMirrorStale = false;
  if (m_stateFile.empty()) return;
  std::string text;
  if (m_switchCount >= m_groupStride * m_groupSize) {
    const auto& s = m_records;
    text = Format("%d %d %d %d %d %d %d %d", s[0].m_state, s[1].m_state, s[2].m_state,
                  s[3].m_state, s[4].m_state, s[5].m_state, s[6].m_state, s[7].m_state);
  }
  int ok = 0;
  for (int attempt = 0; attempt < kSaveAttempts && !ok; ++attempt) {
    bool written = false;
    const int error = m_services.files->WriteState(m_stateFile, text, &written);
    if (error == 0) {
      ok = written;
    } else {
      AppendLog(Format("Write from %s failed, err=%d - %s", m_stateFile.c_str(), error,
                       m_services.files->ErrorText(error).c_str()));
    }
    if (!ok) m_services.clock->Sleep(kSaveRetryMs);
  }
  SetStateFileOk(*this, ok);
}

void CToggraDlg::ReadState() {
  SemaphoreHold hold(m_semaphore);
  int ok = 0;
  std::string data;
  bool readOk = false;
  const int error = m_services.files->ReadState(m_stateFile, kMaxStateBytes, &data, &readOk);
  if (error != 0) {
    AppendLog(Format("Read from %s failed, err=%d - %s", m_stateFile.c_str(), error,
                     m_services.files->ErrorText(error).c_str()));
  } else if (readOk) {
    const int n = m_groupStride * m_groupSize;
    std::array<int, kStateValues> values{};
    const int parsed = m_switchCount >= n ? ParseStateValues(data, values) : -1;
    if (parsed == n && m_switchCount != 0 && n <= kStateValues) {
      ok = 1;
      bool changed = false;
      // Without a group there are no values to apply.
      for (int j = 0; n > 0 && j < m_switchCount; ++j) {
        SwitchRecord& r = m_records[j];
        const int value = values[j % n];
        if (value != r.m_state) {
          changed = true;
          SetColumnState(j, value, StateSource::StateFile);
          // The poll finds nothing new after this, so the tray lamp must
          // follow here or it would keep showing the old state.
          if (m_trayMode) column::SetTrayIcon(*this, j, column::PlainStateIcon(*this, value));
        }
        if (!m_simulation && m_device) m_device->SetSwitch(r.m_devNo, r.m_switchId, value);
      }
      if (changed) InvalidateAll();
    }
  }
  SetStateFileOk(*this, ok);
}

}  // namespace toggra
