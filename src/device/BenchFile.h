// One bench file shared by several processes, as real hardware is shared by
// the programs that use it. Every change is a read-modify-write under an
// exclusive lock that replaces the file by rename, so a reader never sees half
// a file and no change is lost; reading re-parses only when the file changed.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <functional>
#include <string>

#include "device/BenchFormat.h"
#include "device/UniqueFd.h"

namespace toggra {

class BenchFile {
 public:
  // Receives each problem once, until the file is fine again.
  using ErrorSink = std::function<void(const std::string&)>;

  // Every change sets a file's ctime to the current time, at the
  // granularity of its filesystem: whole seconds on some, two on FAT. A file
  // changed in place within that granule after a read may keep its stamp, so
  // the stamp is trusted only once the ctime is `settle` older than the read.
  static constexpr std::chrono::nanoseconds kSettle = std::chrono::seconds(2);

  BenchFile(std::string path, ErrorSink errors, std::chrono::nanoseconds settle = kSettle);

  const std::string& Path() const { return m_path; }

  // The contents now, or null while the file is missing, unreadable or
  // malformed. Costs one stat while the file is unchanged.
  const BenchSet* Current();
  // The contents read afresh.
  const BenchSet* Reload();

  // Read-modify-write under the lock. `change` edits the set and returns
  // false to leave the file alone. True when the file was rewritten.
  bool Modify(const std::function<bool(BenchSet&)>& change);
  // Replaces the whole file with `text`, creating it when it is missing.
  bool Replace(const std::string& text);

 private:
  // What stat tells about the file's contents. The inode is held open (see
  // m_held), so a file put in its place by rename always has another one.
  struct Stamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    timespec mtime{};
    timespec ctime{};
    bool operator==(const Stamp& o) const;
  };
  static Stamp StampOf(const struct stat& st);

  const BenchSet* Adopt(UniqueFd fd, const struct stat& st, const timespec& readStart,
                        std::string text, BenchParse parse);
  const BenchSet* Fail(const std::string& problem);
  bool LockExisting(UniqueFd& locked, int& error);
  bool WriteReplacement(const std::string& text, mode_t mode, UniqueFd& written);

  std::string m_path;
  ErrorSink m_errors;
  timespec m_settle{};
  std::string m_reported;  // the problem last passed to m_errors

  bool m_cached = false;   // m_parse and m_stamp describe the file
  bool m_settled = false;  // the file's ctime is old enough for its stamp to be trusted
  Stamp m_stamp;
  std::string m_text;      // what m_parse was made from
  BenchParse m_parse;
  UniqueFd m_held;         // keeps the cached inode alive, so its number is not reused
};

}  // namespace toggra
