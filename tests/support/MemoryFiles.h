// Protocol and state files in memory, with files that can be locked by
// "another process" or made unopenable.
#pragma once

#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "trafficlight/FileService.h"

namespace toggra::test {

class MemoryFiles : public IFileService {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> lockedByOther;  // open for writing/reading fails (EWOULDBLOCK)
  std::set<std::string> unopenable;     // every open fails with EACCES
  int writeOpens = 0, readOpens = 0, appendOpens = 0;

  int AppendLine(const std::string& path, const std::string& line) override {
    ++appendOpens;
    if (unopenable.count(path)) return EACCES;
    files[path] += line;
    return 0;
  }
  int WriteState(const std::string& path, const std::string& text, bool* written) override {
    ++writeOpens;
    if (unopenable.count(path)) return EACCES;
    if (lockedByOther.count(path)) return EWOULDBLOCK;
    files[path] = text;
    *written = true;
    return 0;
  }
  int ReadState(const std::string& path, size_t maxBytes, std::string* data,
                bool* readOk) override {
    ++readOpens;
    if (unopenable.count(path)) return EACCES;
    if (lockedByOther.count(path)) return EWOULDBLOCK;
    auto it = files.find(path);
    if (it == files.end()) return ENOENT;
    *data = it->second.substr(0, maxBytes);
    *readOk = true;
    return 0;
  }
  std::string ErrorText(int error) override { return std::string(std::strerror(error)) + "\r\n"; }
};

}  // namespace toggra::test
