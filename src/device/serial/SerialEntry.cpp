#include "device/serial/SerialEntry.h"

#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace toggra::serial {

namespace {

constexpr const char* kUdevRule = "70-toggra-serial.rules";
constexpr const char* kByPath = "/dev/serial/by-path";
constexpr const char* kSysTty = "/sys/class/tty";

bool AllDigits(const std::string& s) {
  return !s.empty() &&
         std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadLine(const std::string& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// The USB device above a tty: the first folder up from the tty's device
// that has an idVendor.
bool UsbIds(const std::string& tty, uint16_t* vendor, uint16_t* product) {
  char* real = ::realpath((std::string(kSysTty) + "/" + tty + "/device").c_str(), nullptr);
  if (!real) return false;
  std::string dir = real;
  std::free(real);
  for (int up = 0; up < 4 && dir.size() > 1; ++up) {
    const std::string v = ReadLine(dir + "/idVendor"), p = ReadLine(dir + "/idProduct");
    if (!v.empty() && !p.empty()) {
      *vendor = static_cast<uint16_t>(std::strtoul(v.c_str(), nullptr, 16));
      *product = static_cast<uint16_t>(std::strtoul(p.c_str(), nullptr, 16));
      return true;
    }
    dir = dir.substr(0, dir.rfind('/'));
  }
  return false;
}

// The by-path link that leads to the tty `name`, if any: stable across
// re-plugging into the same socket, while ttyUSB numbers are handed out in
// plug order.
std::string ByPathOf(const std::string& name) {
  for (const std::string& link : Names(kByPath)) {
    char target[512];
    const ssize_t n = ::readlink((std::string(kByPath) + "/" + link).c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = '\0';
    if (LastPart(target) == name) return std::string(kByPath) + "/" + link;
  }
  return {};
}

}  // namespace

bool SplitPathNumbers(const std::string& argument, size_t maxNumbers, std::string* path,
                      std::vector<uint32_t>* numbers) {
  if (argument.empty() || argument[0] != '/') return false;
  std::vector<std::string> pieces;
  size_t start = 0;
  for (;;) {
    const size_t colon = argument.find(':', start);
    pieces.push_back(argument.substr(start, colon == std::string::npos ? colon : colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  size_t first = pieces.size();  // the first piece of the numbers
  while (first > 1 && pieces.size() - (first - 1) <= maxNumbers && AllDigits(pieces[first - 1]))
    --first;
  std::string p = pieces[0];
  for (size_t i = 1; i < first; ++i) p += ":" + pieces[i];
  std::vector<uint32_t> n;
  for (size_t i = first; i < pieces.size(); ++i) {
    const unsigned long long v = std::strtoull(pieces[i].c_str(), nullptr, 10);
    if (v > UINT32_MAX) return false;
    n.push_back(static_cast<uint32_t>(v));
  }
  if (p.size() < 2 || p.back() == '/') return false;
  *path = std::move(p);
  *numbers = std::move(n);
  return true;
}

std::string LastPart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string OpenFailureText(const std::string& path, int error) {
  const std::string why = std::generic_category().message(error);
  if (error == ENOENT)
    return path + ": no such device (" + why + "); plug the adapter in, or check the path";
  if (error != EACCES && error != EPERM) return path + ": cannot be opened (" + why + ")";
  std::string text = path + ": no permission (" + why + "); fix: ";
  struct stat st {};
  const group* owner = ::stat(path.c_str(), &st) == 0 ? ::getgrgid(st.st_gid) : nullptr;
  // The group that owns the node lets its members in (dialout on Debian);
  // joining root or tty would give away far more.
  const std::string group = owner ? owner->gr_name : "";
  if (!group.empty() && group != "root" && group != "tty" && (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP))
    text += "join the group " + group + " that owns it (sudo usermod -aG " + group + " USER), or ";
  return text + "install the udev rule " + kUdevRule +
         " and join the group toggra (sudo usermod -aG toggra USER); then log in again and "
         "re-plug the adapter";
}

std::vector<UsbSerialPort> FindUsbSerialPorts(const std::vector<uint32_t>& ids) {
  std::vector<UsbSerialPort> ports;
  for (const std::string& tty : Names(kSysTty)) {
    UsbSerialPort port;
    if (!UsbIds(tty, &port.vendor, &port.product)) continue;
    const uint32_t id = static_cast<uint32_t>(port.vendor) << 16 | port.product;
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) continue;
    port.node = "/dev/" + tty;
    port.path = ByPathOf(tty);
    if (port.path.empty()) port.path = port.node;
    if (::access(port.node.c_str(), R_OK | W_OK) != 0)
      port.problem = OpenFailureText(port.node, errno);
    ports.push_back(std::move(port));
  }
  return ports;
}

}  // namespace toggra::serial
