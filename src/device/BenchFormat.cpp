#include "device/BenchFormat.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace toggra {

namespace {

constexpr int kIntMin = std::numeric_limits<int>::min();
constexpr int kIntMax = std::numeric_limits<int>::max();
constexpr int kFirstDefaultSerial = 1000;
constexpr int kTrafficLightLamps = 3;
constexpr std::string_view kStateKey = "state";
constexpr std::string_view kSectionName = "device";

struct IntKey {
  std::string_view name;
  int BenchDevice::*member;
  int min;
  int max;
};

// Every single-number key with the values it accepts.
constexpr IntKey kIntKeys[] = {
    {"type", &BenchDevice::type, kIntMin, kIntMax},
    {"version", &BenchDevice::version, kIntMin, kIntMax},
    {"serial", &BenchDevice::serial, kIntMin, kIntMax},
    {"switches", &BenchDevice::switches, 0, kBenchMaxSwitches},
    {"traffic_light", &BenchDevice::trafficLight, kIntMin, kIntMax},
    {"cutter", &BenchDevice::cutter, kIntMin, kIntMax},
    {"config_failures", &BenchDevice::configFailures, 0, kIntMax},
    {"multi_switch_fails", &BenchDevice::multiSwitchFails, 0, 1},
    {"resets", &BenchDevice::resets, 0, kIntMax},
};
constexpr size_t kIntKeyCount = std::size(kIntKeys);
constexpr size_t kStateSlot = kIntKeyCount;  // the "given" flag of the state list

std::string_view Trim(std::string_view s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) return {};
  const size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::string_view WithoutComment(std::string_view s) {
  const size_t hash = s.find('#');
  return hash == std::string_view::npos ? s : s.substr(0, hash);
}

// A whole decimal number that fits an int; the error text otherwise.
bool ParseInt(std::string_view text, int& out, std::string& error) {
  long long v = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (ec == std::errc() && ptr == end && v >= kIntMin && v <= kIntMax) {
    out = static_cast<int>(v);
    return true;
  }
  if (ec == std::errc::result_out_of_range || (ec == std::errc() && ptr == end))
    error = "\"" + std::string(text) + "\" does not fit a 32-bit number";
  else
    error = "\"" + std::string(text) + "\" is not a whole number";
  return false;
}

std::string JoinInts(const std::vector<int>& values) {
  std::string out;
  for (int v : values) {
    if (!out.empty()) out += ' ';
    out += std::to_string(v);
  }
  return out;
}

// `line` with its value replaced; the key, the spacing around '=' and a
// trailing comment (kept in its column where it fits) stay as they were.
std::string ReplaceValue(std::string line, const std::string& value) {
  const bool cr = !line.empty() && line.back() == '\r';
  if (cr) line.pop_back();
  const size_t eq = line.find('=');
  const size_t hash = line.find('#', eq);
  size_t valueStart = line.find_first_not_of(" \t", eq + 1);
  if (valueStart == std::string::npos || valueStart > hash) valueStart = std::min(hash, line.size());
  std::string out = line.substr(0, valueStart);
  if (out.back() == '=') out += ' ';
  out += value;
  if (hash != std::string::npos) {
    if (out.size() < hash)
      out.append(hash - out.size(), ' ');
    else
      out += ' ';
    out += line.substr(hash);
  }
  if (cr) out += '\r';
  return out;
}

}  // namespace

int BenchDevice::State(int n) const {
  return n >= 0 && n < static_cast<int>(state.size()) ? state[n] : 0;
}

struct BenchParser {
  static BenchParse Parse(std::string_view text, const std::string& fileName);
};

BenchParse BenchParser::Parse(std::string_view text, const std::string& fileName) {
  BenchParse out;
  BenchSet& set = out.set;
  set.m_finalNewline = text.empty() || text.back() == '\n';
  for (size_t start = 0; start < text.size();) {
    size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) nl = text.size();
    set.m_lines.emplace_back(text.substr(start, nl - start));
    start = nl + 1;
  }

  std::vector<std::vector<bool>> given;  // per device: which keys its section set
  auto fail = [&](size_t line, const std::string& what) {
    out.error = fileName + ":" + std::to_string(line + 1) + ": " + what;
    return out;
  };

  for (size_t i = 0; i < set.m_lines.size(); ++i) {
    const std::string_view content = Trim(WithoutComment(set.m_lines[i]));
    if (content.empty()) continue;
    if (content.front() == '[') {
      if (content.back() != ']') return fail(i, "a section header needs a closing ']'");
      const std::string_view name = Trim(content.substr(1, content.size() - 2));
      if (name != kSectionName)
        return fail(i, "unknown section [" + std::string(name) + "]; sections are [device]");
      set.devices.emplace_back();
      set.m_sections.push_back({i, i, -1, -1});
      given.emplace_back(kIntKeyCount + 1, false);
      continue;
    }
    const size_t eq = content.find('=');
    if (eq == std::string_view::npos) return fail(i, "expected \"key = value\"");
    const std::string_view key = Trim(content.substr(0, eq));
    const std::string_view value = Trim(content.substr(eq + 1));
    if (set.devices.empty())
      return fail(i, "\"" + std::string(key) + "\" comes before the first [device] line");
    BenchDevice& dev = set.devices.back();
    BenchSet::Section& section = set.m_sections.back();
    std::vector<bool>& seen = given.back();

    size_t slot = kStateSlot;
    if (key != kStateKey) {
      slot = 0;
      while (slot < kIntKeyCount && kIntKeys[slot].name != key) ++slot;
      if (slot == kIntKeyCount) {
        std::string known;
        for (const IntKey& k : kIntKeys) known += std::string(k.name) + ", ";
        return fail(i, "unknown key \"" + std::string(key) + "\" (known keys: " + known +
                           std::string(kStateKey) + ")");
      }
    }
    if (seen[slot]) return fail(i, "\"" + std::string(key) + "\" is given twice for this device");
    seen[slot] = true;
    section.last = i;

    std::string error;
    if (slot == kStateSlot) {
      section.stateLine = static_cast<long>(i);
      for (size_t p = 0; p < value.size();) {
        const size_t e = std::min(value.find_first_of(" \t", p), value.size());
        int v = 0;
        if (!ParseInt(value.substr(p, e - p), v, error)) return fail(i, "state: " + error);
        dev.state.push_back(v);
        p = value.find_first_not_of(" \t", e);
        if (p == std::string_view::npos) break;
      }
      if (dev.state.size() > static_cast<size_t>(kBenchMaxSwitches))
        return fail(i, "state has more than " + std::to_string(kBenchMaxSwitches) + " entries");
      continue;
    }
    const IntKey& k = kIntKeys[slot];
    int v = 0;
    if (value.empty()) return fail(i, std::string(k.name) + " needs a value");
    if (!ParseInt(value, v, error)) return fail(i, std::string(k.name) + ": " + error);
    if (v < k.min || v > k.max)
      return fail(i, std::string(k.name) + " must be between " + std::to_string(k.min) +
                         " and " + std::to_string(k.max));
    dev.*k.member = v;
    if (k.member == &BenchDevice::resets) section.resetsLine = static_cast<long>(i);
  }

  // Defaults that depend on the device's index or on other keys of its section.
  for (size_t d = 0; d < set.devices.size(); ++d) {
    BenchDevice& dev = set.devices[d];
    auto wasGiven = [&](int BenchDevice::*member) {
      for (size_t s = 0; s < kIntKeyCount; ++s)
        if (kIntKeys[s].member == member) return static_cast<bool>(given[d][s]);
      return false;
    };
    if (!wasGiven(&BenchDevice::serial)) dev.serial = kFirstDefaultSerial + static_cast<int>(d);
    if (!wasGiven(&BenchDevice::switches) && dev.trafficLight != 0)
      dev.switches = kTrafficLightLamps;
  }
  out.ok = true;
  return out;
}

BenchParse ParseBench(std::string_view text, const std::string& fileName) {
  return BenchParser::Parse(text, fileName);
}

void BenchSet::SetState(int device, int index, int value) {
  if (device < 0 || device >= static_cast<int>(devices.size())) return;
  if (index < 0 || index >= kBenchMaxSwitches) return;
  BenchDevice& dev = devices[device];
  const size_t want = std::max({dev.state.size(), static_cast<size_t>(index) + 1,
                                static_cast<size_t>(std::min(dev.switches, kBenchMaxSwitches))});
  dev.state.resize(want, 0);
  dev.state[index] = value;
  SetLine(device, &Section::stateLine, "state", JoinInts(dev.state));
}

void BenchSet::SetResets(int device, int value) {
  if (device < 0 || device >= static_cast<int>(devices.size())) return;
  devices[device].resets = value;
  SetLine(device, &Section::resetsLine, "resets", std::to_string(value));
}

void BenchSet::SetLine(int device, long Section::*line, const char* key,
                       const std::string& value) {
  if (device >= static_cast<int>(m_sections.size())) return;
  Section& section = m_sections[device];
  if (section.*line >= 0) {
    m_lines[section.*line] = ReplaceValue(m_lines[section.*line], value);
    return;
  }
  // The key was missing: add it after the section's last key line, with the
  // line ending the section's header has.
  const size_t at = section.last + 1;
  const std::string& header = m_lines[section.header];
  const bool cr = !header.empty() && header.back() == '\r';
  m_lines.insert(m_lines.begin() + static_cast<long>(at), key + (" = " + value) + (cr ? "\r" : ""));
  for (Section& s : m_sections) {
    if (s.header >= at) ++s.header;
    if (s.last >= at) ++s.last;
    if (s.stateLine >= static_cast<long>(at)) ++s.stateLine;
    if (s.resetsLine >= static_cast<long>(at)) ++s.resetsLine;
  }
  section.*line = static_cast<long>(at);
  section.last = at;
}

std::string BenchSet::Render() const {
  std::string out;
  for (size_t i = 0; i < m_lines.size(); ++i) {
    out += m_lines[i];
    if (i + 1 < m_lines.size() || m_finalNewline) out += '\n';
  }
  return out;
}

}  // namespace toggra
