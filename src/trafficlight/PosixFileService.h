// Protocol and state files on POSIX: advisory locks (flock, never waiting)
// stand in for the Windows share modes.
#pragma once

#include "trafficlight/FileService.h"

namespace toggra {

class CPosixFileService : public IFileService {
 public:
  int AppendLine(const std::string& path, const std::string& line) override;
  int WriteState(const std::string& path, const std::string& text, bool* written) override;
  int ReadState(const std::string& path, size_t maxBytes, std::string* data,
                bool* readOk) override;
  std::string ErrorText(int error) override;
};

}  // namespace toggra
