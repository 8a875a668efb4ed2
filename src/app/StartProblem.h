// Why a program cannot start as configured, and the exit status that says so
// to a service manager (the codes of sysexits.h).
#pragma once

#include <string>
#include <vector>

namespace toggra {

class CDeviceRegistry;

enum class StartProblem {
  kNone,
  kConfiguration,  // a setting that no retry can make work: fix it first
  kUnavailable,    // a service it needs (the MQTT broker) cannot be reached now
};

inline constexpr int kExitConfig = 78;       // EX_CONFIG
inline constexpr int kExitUnavailable = 69;  // EX_UNAVAILABLE

// 0 for kNone.
int ExitStatusOf(StartProblem problem);

// The device entries that cannot work whatever hardware is plugged in: no
// back-end name, or a back-end this build does not have. One message each,
// "device entry ENTRY: REASON", as the registry reports them on opening.
// (Missing hardware is no configuration error: it may come later.)
std::vector<std::string> UnusableDeviceEntries(const CDeviceRegistry& registry,
                                               const std::vector<std::string>& entries);

}  // namespace toggra
