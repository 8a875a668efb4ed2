// The protocol file (one line per run) and the state file (the first eight
// switch states, shared with other processes).
#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>

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

// Below the fixed first line of the box: where, why, and where the line went.
constexpr char kStrProtocolReason[] = "%s\n%s: %s";
constexpr char kStrLineKept[] =
    "Die Zeile „%s“ wurde in %s aufbewahrt und wird in die Datei nachgetragen, "
    "sobald sie sich wieder öffnen lässt.";
constexpr char kStrLineNotKept[] =
    "Die Zeile „%s“ konnte auch in %s nicht aufbewahrt werden (%s); sie steht nur "
    "in der Fehlerausgabe.";

// The system's text without the line break the file service ends it with.
std::string Reason(IFileService& files, int error) {
  std::string text = files.ErrorText(error);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string WithoutLineEnd(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

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

// The title's warning points at the log, which exists only with -L: the
// reason goes to stderr too, once each time it changes. An empty reason marks
// the read-back outside the group layout, which always "fails": that is
// explained once, and its alternation with the writes is not news.
void ReportStateFile(CToggraDlg& d, int ok, const std::string& reason) {
  const std::string prefix = "toggra: state file " + d.m_stateFile;
  const std::string note = prefix +
                           ": written for other programs; only the group layout (-D) reads it "
                           "back, so the title's warning means nothing else here";
  const std::string worksAgain = prefix + " works again";
  std::string message;
  if (!ok) {
    message = reason.empty() ? note : prefix + ": " + reason;
  } else if (!d.m_stateFileReport.empty() && d.m_stateFileReport != note) {
    message = worksAgain;
  }
  if (message.empty() || message == d.m_stateFileReport) return;
  std::fprintf(stderr, "%s\n", message.c_str());
  std::fflush(stderr);
  d.m_stateFileReport = message;
}

void SetStateFileOk(CToggraDlg& d, int ok, const std::string& reason) {
  ReportStateFile(d, ok, reason);
  if (ok == d.m_stateFileOk) return;
  d.m_stateFileOk = ok;
  d.UpdateTitle();
}

// Appends one line to the protocol file, after any lines kept from earlier
// failures. When the file cannot be opened the line is kept (stderr and the
// fallback file) and the box says where; returns false then.
bool AppendProtocolLine(CToggraDlg& d, const std::string& line) {
  IFileService& files = *d.m_services.files;
  IProtocolFallback* fallback = d.m_services.protocolFallback;
  const std::string& path = d.m_protocolFile;
  const auto append = [&](const std::string& text) { return files.AppendLine(path, text); };
  int delivered = 0;
  const int error = fallback ? fallback->Deliver(path, line, append, &delivered) : append(line);
  if (error == 0) {
    if (delivered > 0) {
      std::fprintf(stderr, "toggra: %d kept protocol line(s) written to %s\n", delivered,
                   path.c_str());
      std::fflush(stderr);
    }
    return true;
  }
  const std::string reason = Reason(files, error);
  const std::string shown = WithoutLineEnd(line);
  std::string where;
  const int keepError = fallback ? fallback->Keep(path, line, &where) : ENOENT;
  std::string text = Format(kStrProtocolReason, kStrCannotOpen, path.c_str(), reason.c_str());
  if (keepError == 0) {
    std::fprintf(stderr, "toggra: cannot open protocol file %s: %s; line kept in %s: %s\n",
                 path.c_str(), reason.c_str(), where.c_str(), shown.c_str());
    text += "\n\n" + Format(kStrLineKept, shown.c_str(), where.c_str());
  } else {
    const std::string keepReason = Reason(files, keepError);
    const std::string folder = fallback ? fallback->Folder() : std::string("-");
    std::fprintf(stderr, "toggra: cannot open protocol file %s: %s; cannot keep the line in %s: %s; line: %s\n",
                 path.c_str(), reason.c_str(), folder.c_str(), keepReason.c_str(), shown.c_str());
    text += "\n\n" + Format(kStrLineNotKept, shown.c_str(), folder.c_str(), keepReason.c_str());
  }
  std::fflush(stderr);
  d.AppendLog(Format("Protocol %s: %s", path.c_str(), reason.c_str()));
  d.m_services.prompts->MessageBox(text, kStrError, true);
  return false;
}

}  // namespace

void CToggraDlg::WriteProtocol(int i) {
  SwitchRecord& r = m_records[i];
  column::SetStartText(*this, i, kStrStart);
  if (!m_protocolFile.empty()) {
    const std::string line = Format(kStrProtocolLine, r.m_candidate.c_str(), SecondsUsed(r));
    if (!AppendProtocolLine(*this, line)) return;
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
  std::string reason;
  for (int attempt = 0; attempt < kSaveAttempts && !ok; ++attempt) {
    bool written = false;
    const int error = m_services.files->WriteState(m_stateFile, text, &written);
    if (error == 0) {
      ok = written;
      if (!ok) reason = "opened but not written";
    } else {
      reason = "cannot write: " + Reason(*m_services.files, error);
      AppendLog(Format("Write from %s failed, err=%d - %s", m_stateFile.c_str(), error,
                       m_services.files->ErrorText(error).c_str()));
    }
    if (!ok) m_services.clock->Sleep(kSaveRetryMs);
  }
  SetStateFileOk(*this, ok, reason);
}

void CToggraDlg::ReadState() {
  SemaphoreHold hold(m_semaphore);
  int ok = 0;
  std::string data;
  bool readOk = false;
  std::string reason = "cannot be read";
  const int error = m_services.files->ReadState(m_stateFile, kMaxStateBytes, &data, &readOk);
  if (error != 0) {
    reason = "cannot read: " + Reason(*m_services.files, error);
    AppendLog(Format("Read from %s failed, err=%d - %s", m_stateFile.c_str(), error,
                     m_services.files->ErrorText(error).c_str()));
  } else if (readOk) {
    const int n = m_groupStride * m_groupSize;
    std::array<int, kStateValues> values{};
    const int parsed = m_switchCount >= n ? ParseStateValues(data, values) : -1;
    reason = n == 0 ? std::string()
                    : Format("holds no %d readable numbers, so it is not applied", n);
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
  SetStateFileOk(*this, ok, reason);
}

}  // namespace toggra
