// One hive file on disk, shared by every instance of the program.
//
// Reads use the last parsed document while the file is unchanged (same inode,
// size and times). Every change is a read-modify-write under an exclusive
// flock of "<hive>.lock" next to the hive: the file is read afresh, changed,
// written to a temporary file in the same folder and renamed over the hive, so
// no instance loses another's value and a crash never leaves half a file.
// Not for use by several threads at once: the program's GUI thread is its
// only user.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "settings/HiveFile.h"

namespace toggra {

class HiveStore {
 public:
  // rootName: "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE", the first part of
  // every key path in the file.
  HiveStore(std::string path, std::string rootName);

  const std::string& Path() const { return m_path; }
  // "HKEY_CURRENT_USER\path".
  std::string FullKey(const std::string& path) const;

  // Whether this process can change the hive: write the file, or create it
  // (and the folders up to it), and replace it in its folder.
  bool CanWrite() const;

  // The current document; a missing hive is an empty one. ERROR_SUCCESS,
  // ERROR_ACCESS_DENIED when the file cannot be read, ERROR_CANTREAD.
  long Load(std::shared_ptr<const HiveDocument>* doc);

  // Applies change to the current document under the lock and writes the
  // result when change returns true. ERROR_ACCESS_DENIED when the hive cannot
  // be written, ERROR_CANTREAD / ERROR_CANTWRITE on I/O failures (the hive is
  // then left as it was).
  long Modify(const std::function<bool(HiveDocument&)>& change);

 private:
  struct Identity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    long long mtimeNs = 0, ctimeNs = 0;
    bool operator==(const Identity&) const = default;
  };

  // Reads and parses the file, or takes the cached document when the file is
  // unchanged and useCache is set.
  long ReadFile(std::shared_ptr<const HiveDocument>* doc, bool useCache);
  // Writes text to a temporary file and renames it over target.
  long WriteFile(const std::string& target, const std::string& text);
  void Warn(const std::vector<HiveProblem>& problems);

  std::string m_path;
  std::string m_rootName;
  std::shared_ptr<const HiveDocument> m_cached;
  Identity m_cachedId;
  // Each skipped line is reported once per process, not on every read.
  std::set<std::pair<int, std::string>> m_warned;
};

}  // namespace toggra
