#include "device/hidrelay/HidRelayBoard.h"

#include "device/Channels.h"
#include "device/kit/HidrawLocation.h"

namespace toggra::hidrelay {

namespace {

constexpr unsigned char kCommandOn = 0xFF;
constexpr unsigned char kCommandOff = 0xFD;
constexpr const wchar_t kProductPrefix[] = L"USBRelay";
constexpr int kRelayCounts[] = {1, 2, 4, 8};

}  // namespace

int RelayCountOf(const std::wstring& product) {
  const std::wstring prefix = kProductPrefix;
  if (product.size() != prefix.size() + 1 || product.compare(0, prefix.size(), prefix) != 0)
    return 0;
  const int n = product.back() - L'0';
  for (int count : kRelayCounts)
    if (n == count) return n;
  return 0;
}

std::string BoardName(const unsigned char* id, size_t length) {
  std::string name;
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = id[i];
    const bool plain = c > ' ' && c < 0x7F && c != ':' && c != ';';
    name.push_back(plain ? static_cast<char>(c) : '_');
  }
  return name;
}

bool ParseReport(const unsigned char* data, int length, BoardState* state) {
  if (!data || length < static_cast<int>(kReportSize)) return false;
  state->id = BoardName(data + kIdOffset, kIdLength);
  state->mask = data[kMaskOffset];
  return true;
}

Report SwitchCommand(int relay, bool on) {
  Report report{};
  report[1] = on ? kCommandOn : kCommandOff;
  report[2] = static_cast<unsigned char>(relay);
  return report;
}

int SerialOf(const std::string& id, const std::string& location) {
  return NameSerial(location.empty() ? id : id + "@" + location);
}

std::string LocationOf(const std::string& devnode) { return HidrawUsbLocation(devnode); }

}  // namespace toggra::hidrelay
