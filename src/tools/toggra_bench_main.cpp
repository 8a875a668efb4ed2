// toggra-bench: shows, switches and creates the bench files that stand in for
// the switch hardware, as a person at the devices would.
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/Ids.h"
#include "device/BenchFile.h"

namespace {

using toggra::BenchDevice;
using toggra::BenchFile;
using toggra::BenchSet;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "usage: toggra-bench FILE show                    list every device with its states\n"
    "       toggra-bench FILE set DEVICE ID VALUE     set switch ID (16 = first channel)\n"
    "                                                 of DEVICE (from 0) to VALUE\n"
    "       toggra-bench FILE demo [--force]          write the demo hardware set to FILE;\n"
    "                                                 --force replaces an existing FILE\n"
    "       toggra-bench --help                       show this text\n";

// What `demo` writes; data/demo.bench holds the same text.
constexpr char kDemoBench[] =
    R"(# Demo hardware set for Toggra: start it with TOGGRA_BENCH=<this file>.
# This file is both the set-up and the live state of the simulated devices:
# Toggra rewrites the state and resets lines while it runs, and a state changed
# here (in an editor or with "toggra-bench FILE set DEVICE ID VALUE") is what
# the devices report on their next reading.
# state: what ids 16, 17, ... read; 1 on, 0 off, -1 unreachable.

# Device 0: a power switch with four channels (ids 16 to 19).
[device]
type = 40
version = 31
serial = 6699
switches = 4
traffic_light = 0
cutter = 0
config_failures = 0
multi_switch_fails = 0
state = 0 0 0 0
resets = 0

# Device 1: a power switch with one channel (id 16).
[device]
type = 8
version = 12
serial = 7012
switches = 1
traffic_light = 0
cutter = 0
config_failures = 0
multi_switch_fails = 0
state = 0
resets = 0

# Device 2: a traffic light; ids 16 red, 17 yellow, 18 green.
[device]
type = 8
version = 5
serial = 8203
switches = 3
traffic_light = 1
cutter = 0
config_failures = 0
multi_switch_fails = 0
state = 1 0 0
resets = 0

# Device 3: a power switch with eight channels (ids 16 to 23), the kind the
# group layout (toggra -D) shows as two blocks of four.
[device]
type = 8
version = 44
serial = 9120
switches = 8
traffic_light = 0
cutter = 0
config_failures = 0
multi_switch_fails = 0
state = 0 0 0 0 0 0 0 0
resets = 0
)";

void PrintError(const std::string& message) { std::fprintf(stderr, "toggra-bench: %s\n", message.c_str()); }

// The values `set` writes: what a channel reads when it is on, off or
// cannot be reached.
constexpr int kValueOn = 1;
constexpr int kValueOff = 0;
constexpr int kValueUnreachable = -1;

int Usage(const std::string& problem) {
  if (!problem.empty()) PrintError(problem);
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

bool ParseInt(std::string_view text, int& out) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end;
}

std::string StateText(int value) {
  if (value == 1) return "on";
  if (value == 0) return "off";
  if (value < 0) return std::to_string(value) + " (unreachable)";
  return std::to_string(value);
}

void PrintDevice(int index, const BenchDevice& d) {
  static const char* const kLampNames[] = {"red", "yellow", "green"};
  std::printf(
      "device %d: type %d, version %d, serial %d, switches %d, traffic_light %d, cutter %d, "
      "config_failures %d, multi_switch_fails %d, resets %d\n",
      index, d.type, d.version, d.serial, d.switches, d.trafficLight, d.cutter, d.configFailures,
      d.multiSwitchFails, d.resets);
  for (int n = 0; n < d.switches; ++n) {
    const bool lamp = d.trafficLight != 0 && n < static_cast<int>(std::size(kLampNames));
    std::printf("  %d%s%s: %s\n", toggra::kFirstSwitchId + n, lamp ? " " : "",
                lamp ? kLampNames[n] : "", StateText(d.State(n)).c_str());
  }
}

int Show(BenchFile& file) {
  const BenchSet* set = file.Reload();
  if (!set) return kExitFailed;
  if (set->devices.empty()) std::printf("%s: no devices\n", file.Path().c_str());
  for (size_t i = 0; i < set->devices.size(); ++i) PrintDevice(static_cast<int>(i), set->devices[i]);
  return kExitOk;
}

int Set(BenchFile& file, const std::vector<std::string_view>& args) {
  int device = 0, id = 0, value = 0;
  if (!ParseInt(args[0], device) || !ParseInt(args[1], id) || !ParseInt(args[2], value))
    return Usage("DEVICE, ID and VALUE must be whole numbers");
  if (value != kValueOn && value != kValueOff && value != kValueUnreachable)
    return Usage("VALUE must be 1 (on), 0 (off) or -1 (unreachable), not " +
                 std::string(args[2]));
  std::string problem;
  const bool written = file.Modify([&](BenchSet& set) {
    const int count = static_cast<int>(set.devices.size());
    if (device < 0 || device >= count) {
      problem = "there is no device " + std::to_string(device) + " (the file has " +
                std::to_string(count) + ")";
      return false;
    }
    const int n = id - toggra::kFirstSwitchId;
    const int switches = set.devices[device].switches;
    if (n < 0 || n >= switches) {
      problem = "device " + std::to_string(device) + " has no switch " + std::to_string(id) +
                (switches > 0 ? " (its ids are " + std::to_string(toggra::kFirstSwitchId) +
                                    " to " + std::to_string(toggra::kFirstSwitchId + switches - 1) +
                                    ")"
                              : " (it has no switches)");
      return false;
    }
    set.SetState(device, n, value);
    return true;
  });
  if (!problem.empty()) PrintError(problem);
  return written ? kExitOk : kExitFailed;
}

// A person's own set-up is not replaced by accident: an existing FILE (a
// link or anything else with that name) stays unless --force is given.
int Demo(BenchFile& file, bool force) {
  struct stat st {};
  if (!force) {
    if (::lstat(file.Path().c_str(), &st) == 0) {
      PrintError(file.Path() + " exists; give --force to replace it with the demo set");
      return kExitFailed;
    }
    if (errno != ENOENT) {
      PrintError(file.Path() + ": " + std::generic_category().message(errno));
      return kExitFailed;
    }
  }
  return file.Replace(kDemoBench) ? kExitOk : kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (args.size() < 2) return Usage("");
  BenchFile file(std::string(args[0]), PrintError);
  const std::string_view command = args[1];
  if (command == "show" && args.size() == 2) return Show(file);
  if (command == "demo" && args.size() == 2) return Demo(file, false);
  if (command == "demo" && args.size() == 3 && args[2] == "--force") return Demo(file, true);
  if (command == "demo" && args.size() == 3)
    return Usage("unknown option \"" + std::string(args[2]) + "\" for demo");
  if (command == "set" && args.size() == 5) return Set(file, {args.begin() + 2, args.end()});
  if (command == "show" || command == "demo" || command == "set")
    return Usage("wrong number of arguments for " + std::string(command));
  return Usage("unknown command \"" + std::string(command) + "\"");
}
