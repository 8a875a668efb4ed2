// toggra-ctl: the command line for scripts. It opens the configured back-ends
// as the program does (ConfiguredDeviceEntries) and talks to the hardware
// directly; a running toggra sees the change through its read-back.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace toggra {

class CDeviceRegistry;
class IRegistry;

inline constexpr int kCtlExitDone = 0;
inline constexpr int kCtlExitDevice = 1;  // refused or unreachable
inline constexpr int kCtlExitUsage = 2;

struct CtlServices {
  std::ostream* out = nullptr;
  std::ostream* err = nullptr;
  // The hives: the "Devices" value and the per-channel captions.
  IRegistry* registry = nullptr;
  const CDeviceRegistry* backends = nullptr;
  // Replaceable for tests; null: the process environment.
  std::function<const char*(const char*)> getenv;
  // The pause of `cycle`.
  std::function<void(int milliseconds)> sleep;
};

int RunCtl(const std::vector<std::string>& args, const CtlServices& services);

// The usage text of --help.
std::string CtlUsage();

}  // namespace toggra
