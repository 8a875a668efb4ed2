// Protocol lines that could not be written to their protocol file are kept in
// a fallback file of their own and delivered, before the next line, once the
// protocol file opens again: a finished talk is never lost.
#pragma once

#include <functional>
#include <string>

namespace toggra {

class IProtocolFallback {
 public:
  virtual ~IProtocolFallback() = default;

  // Appends `line` to the fallback file of protocolPath. Returns 0 and sets
  // *where to that file, or returns an errno value.
  virtual int Keep(const std::string& protocolPath, const std::string& line,
                   std::string* where) = 0;

  // Writes `line` through `append`, preceded in the same call by the lines
  // kept for protocolPath (oldest first); those are forgotten once `append`
  // returned 0. *delivered counts the kept lines written. Returns what
  // `append` returned.
  virtual int Deliver(const std::string& protocolPath, const std::string& line,
                      const std::function<int(const std::string& text)>& append,
                      int* delivered) = 0;

  // Where the lines are kept, for messages.
  virtual std::string Folder() const = 0;
};

// The fallback files on disk: one per protocol file in a folder, by default
// $XDG_STATE_HOME/toggra (~/.local/state/toggra when the variable is unset or
// not absolute). Several processes may share the folder: each file is only
// touched under an exclusive advisory lock.
class CProtocolFallback : public IProtocolFallback {
 public:
  explicit CProtocolFallback(std::string folder);
  static CProtocolFallback FromEnvironment();

  // The fallback file of protocolPath: the path with "%" and "/" escaped, so
  // that a user can tell which protocol it belongs to.
  std::string FileFor(const std::string& protocolPath) const;
  std::string Folder() const override { return m_folder; }

  int Keep(const std::string& protocolPath, const std::string& line, std::string* where) override;
  int Deliver(const std::string& protocolPath, const std::string& line,
              const std::function<int(const std::string& text)>& append,
              int* delivered) override;

 private:
  std::string m_folder;
};

}  // namespace toggra
