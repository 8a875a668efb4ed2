#include "device/kit/HidrawLocation.h"

#include <cstdlib>
#include <memory>
#include <regex>

namespace toggra {

std::string HidrawUsbLocation(const std::string& devnode) {
  const size_t slash = devnode.rfind('/');
  const std::string node = slash == std::string::npos ? devnode : devnode.substr(slash + 1);
  const std::string link = "/sys/class/hidraw/" + node;
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(link.c_str(), nullptr), &std::free);
  if (!real) return {};
  // The USB device is the last folder named BUS-PORT[.PORT...] on the way
  // down to the hidraw node.
  static const std::regex kUsbDevice("^[0-9]+-[0-9]+(\\.[0-9]+)*$");
  std::string location;
  const std::string path = real.get();
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (std::regex_match(part, kUsbDevice)) location = part;
    start = end + 1;
  }
  return location;
}

}  // namespace toggra
