// The bench file: set-up and live state of a simulated hardware set, one
// [device] section per device in enumeration order, "key = value" lines,
// '#' comments and blank lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace toggra {

// Channels a bench device may have: ids 16 to 31, the low 16 bits of a
// multi-switch word.
inline constexpr int kBenchMaxSwitches = 16;

struct BenchDevice {
  int type = 8;           // GetUSBType
  int version = 1;        // GetVersion
  int serial = 0;         // GetSerialNumber; the parser defaults it to 1000 + index
  int switches = 1;       // channel count of GetSwitchConfig; 3 for a traffic light
  int trafficLight = 0;   // IsAmpel
  int cutter = 0;         // IsCutter
  int configFailures = 0; // the first so many GetSwitchConfig calls of a process fail
  int multiSwitchFails = 0;
  std::vector<int> state; // entry n is what GetSwitch returns for id 16 + n
  int resets = 0;         // counted up by ResetDevice

  // Entry n of the state list; entries the list does not reach read 0.
  int State(int n) const;
};

// A parsed bench file that keeps its text, so that a change rewrites only the
// value it changes and every comment and blank line a person wrote survives.
class BenchSet {
 public:
  std::vector<BenchDevice> devices;

  // Sets state entry `index` of a device (padding the list with 0 up to the
  // channel count) and its line in the text.
  void SetState(int device, int index, int value);
  void SetResets(int device, int value);
  std::string Render() const;

 private:
  friend struct BenchParser;
  struct Section {
    size_t header = 0;        // line of "[device]"
    size_t last = 0;          // last key line, where a missing key is added
    long stateLine = -1;
    long resetsLine = -1;
  };
  void SetLine(int device, long Section::*line, const char* key, const std::string& value);

  std::vector<std::string> m_lines;  // without '\n'
  std::vector<Section> m_sections;
  bool m_finalNewline = true;
};

struct BenchParse {
  bool ok = false;
  BenchSet set;
  std::string error;  // "FILE:LINE: what is wrong", when not ok
};

// `fileName` only names the file in the error message.
BenchParse ParseBench(std::string_view text, const std::string& fileName);

}  // namespace toggra
