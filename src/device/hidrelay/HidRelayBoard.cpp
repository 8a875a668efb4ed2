#include "device/hidrelay/HidRelayBoard.h"

#include <cstdio>

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

bool ProtocolOf(unsigned short vendor, unsigned short product, Protocol* protocol) {
  if (vendor == kVendorId && product == kProductId)
    *protocol = Protocol::kFeature;
  else if (vendor == kSingleByteVendor && product == kSingleByteProduct)
    *protocol = Protocol::kSingleByte;
  else if (vendor == kFrameVendor && product == kFrameProduct)
    *protocol = Protocol::kFrame;
  else
    return false;
  return true;
}

std::vector<unsigned char> CloneCommand(Protocol protocol, int relay, bool on) {
  const auto n = static_cast<unsigned char>(relay);
  if (protocol == Protocol::kSingleByte)
    return {0x00, static_cast<unsigned char>(on ? 0xF0 + n : n)};
  const unsigned char op = on ? 1 : 0;
  return {0x00, 0xA0, n, op, static_cast<unsigned char>(0xA0 + n + op)};
}

int CloneRelayCount(const std::wstring& product) {
  if (product.empty()) return 0;
  const int n = product.back() - L'0';
  for (int count : kRelayCounts)
    if (n == count) return n;
  return 0;
}

std::string CloneName(unsigned short vendor, unsigned short product, const std::string& serial,
                      const std::string& location) {
  char id[16];
  std::snprintf(id, sizeof id, "%04x-%04x", vendor, product);
  if (!serial.empty())
    return id + ("-" + BoardName(reinterpret_cast<const unsigned char*>(serial.data()),
                                 serial.size()));
  return id + ("@" + location);
}

std::string LocationOf(const std::string& devnode) { return HidrawUsbLocation(devnode); }

}  // namespace toggra::hidrelay
