#include "trafficlight/ProtocolFallback.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/UniqueFd.h"
#include "files/WholeFile.h"

namespace toggra {

namespace {

constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kPrivateFileMode = 0600;
// File names are limited to 255 bytes; a longer escaped path is cut and
// told apart from others by a hash of the whole path.
constexpr size_t kMaxNameBytes = 200;
constexpr uint64_t kFnvOffset = 14695981039346656037ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;
constexpr char kSuffix[] = ".pending";

// Creates the folder and its parents; an existing one is fine.
int MakeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (!part.empty() && ::mkdir(part.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST)
      return errno;
    if (slash == std::string::npos) return 0;
  }
}

int CountLines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

CProtocolFallback::CProtocolFallback(std::string folder) : m_folder(std::move(folder)) {}

CProtocolFallback CProtocolFallback::FromEnvironment() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && state[0] == '/') return CProtocolFallback(std::string(state) + "/toggra");
  const char* home = std::getenv("HOME");
  return CProtocolFallback(std::string(home && home[0] ? home : "/tmp") + "/.local/state/toggra");
}

std::string CProtocolFallback::FileFor(const std::string& protocolPath) const {
  std::string name;
  for (const char c : protocolPath) {
    if (c == '%') {
      name += "%25";
    } else if (c == '/') {
      name += "%2F";
    } else {
      name += c;
    }
  }
  if (name.size() > kMaxNameBytes) {
    uint64_t hash = kFnvOffset;
    for (const char c : protocolPath) hash = (hash ^ static_cast<unsigned char>(c)) * kFnvPrime;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    name = name.substr(name.size() - kMaxNameBytes) + "-" + hex;
  }
  return m_folder + "/" + name + kSuffix;
}

int CProtocolFallback::Keep(const std::string& protocolPath, const std::string& line,
                            std::string* where) {
  if (const int error = MakeFolders(m_folder)) return error;
  const std::string file = FileFor(protocolPath);
  UniqueFd fd(::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                     kPrivateFileMode));
  if (!fd.Valid()) return errno;
  // Waits: a deliverer holds the lock only for one append to the protocol.
  if (::flock(fd.Get(), LOCK_EX) != 0) return errno;
  if (::write(fd.Get(), line.data(), line.size()) != static_cast<ssize_t>(line.size()))
    return errno ? errno : EIO;
  *where = file;
  return 0;
}

int CProtocolFallback::Deliver(const std::string& protocolPath, const std::string& line,
                               const std::function<int(const std::string& text)>& append,
                               int* delivered) {
  *delivered = 0;
  const std::string file = FileFor(protocolPath);
  UniqueFd fd(::open(file.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
  // Nothing kept (the common case), or a fallback that cannot be read: the
  // line goes on its own and whatever is kept stays for a later delivery.
  if (!fd.Valid()) return append(line);
  std::string kept;
  if (::flock(fd.Get(), LOCK_EX) != 0 || ReadAll(fd.Get(), &kept) != 0) return append(line);
  const int result = append(kept + line);
  if (result == 0 && !kept.empty()) {
    *delivered = CountLines(kept);
    // Emptied, not removed, while the lock is held: a keeper waiting for the
    // lock writes into this same file and its line is not lost.
    if (::ftruncate(fd.Get(), 0) != 0) *delivered = 0;
  }
  return result;
}

}  // namespace toggra
