#include "device/sispm/SispmStrip.h"

#include <cctype>
#include <cstdio>

namespace toggra::sispm {

int OutletsOf(unsigned short productId) {
  switch (productId) {
    case 0xfd11:
    case 0xfd13:
    case 0xfd15:
      return 4;
    case 0xfd10:
    case 0xfd12:
      return 1;
    default:
      return 0;
  }
}

unsigned char ReportIdOf(int outlet) { return static_cast<unsigned char>(3 * outlet); }

OutletReport SwitchReport(int outlet, bool on) {
  return {ReportIdOf(outlet), static_cast<unsigned char>(on ? 0x03 : 0x00)};
}

std::string HexBytes(const unsigned char* data, size_t length) {
  std::string text;
  char byte[4];
  for (size_t i = 0; i < length; ++i) {
    std::snprintf(byte, sizeof byte, i ? " %02x" : "%02x", data[i]);
    text += byte;
  }
  return text;
}

bool ParseOutlet(const unsigned char* data, int length, int outlet, bool* on, std::string* why) {
  if (length < static_cast<int>(kOutletReportLength)) {
    *why = length < 0 ? "no answer" : "a short answer (" + std::to_string(length) + " bytes)";
    return false;
  }
  if (data[0] != ReportIdOf(outlet)) {
    *why = "an answer for report " + std::to_string(data[0]) + " instead of " +
           std::to_string(ReportIdOf(outlet)) + " (" + HexBytes(data, kOutletReportLength) + ")";
    return false;
  }
  *on = (data[1] & 0x01) != 0;
  return true;
}

std::string SerialName(const unsigned char* data, int length) {
  if (length < static_cast<int>(kSerialLength)) return {};
  std::string name;
  char byte[3];
  for (size_t i = 0; i < kSerialLength; ++i) {
    std::snprintf(byte, sizeof byte, "%02x", data[i]);
    name += byte;
  }
  return name;
}

std::string NormalizeSerial(const std::string& text) {
  std::string digits;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    // Colons only between pairs: "01:a2:b3:c4:d5".
    if (c == ':' && i % 3 == 2 && text.size() == 14) continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
    digits += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return digits.size() == 2 * kSerialLength ? digits : std::string();
}

}  // namespace toggra::sispm
