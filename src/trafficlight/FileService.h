// The protocol and state files as the program touches them. The production
// implementation uses POSIX files with advisory locks standing in for the
// Windows share modes; tests may replace it.
#pragma once

#include <string>

namespace toggra {

class IFileService {
 public:
  virtual ~IFileService() = default;
  // Opens for appending (creating the file), writes `line` with one write,
  // closes. Returns 0 when the whole line was written, else an errno value.
  virtual int AppendLine(const std::string& path, const std::string& line) = 0;
  // Opens for writing with truncation, unless another process reads or writes
  // it (then nothing is truncated and the open fails). Writes `text` in one
  // write; *written tells whether the write succeeded. Returns 0 when the file
  // could be opened, truncated and written, else an errno value.
  virtual int WriteState(const std::string& path, const std::string& text, bool* written) = 0;
  // Opens an existing file for reading, unless another process writes it, and
  // reads at most maxBytes bytes into *data; *readOk tells whether the read
  // succeeded. Returns 0 when the file could be opened and read, else an
  // errno value.
  virtual int ReadState(const std::string& path, size_t maxBytes, std::string* data,
                        bool* readOk) = 0;
  // The system's text for an error code, ending with its own line break.
  virtual std::string ErrorText(int error) = 0;
};

}  // namespace toggra
