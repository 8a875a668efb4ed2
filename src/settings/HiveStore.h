// One hive file on disk, shared by every instance of the program.
//
// Reads use the last parsed document while the file is unchanged (see
// CSharedTextFile). Every change is a read-modify-write under an exclusive
// flock of "<hive>.lock" next to the hive, which guards creating the hive as
// well, so no instance loses another's value and a crash never leaves half a
// file. Not for use by several threads at once: the program's GUI thread is
// its only user.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "files/SharedTextFile.h"
#include "settings/HiveFile.h"

namespace toggra {

class HiveStore {
 public:
  // rootName: "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE", the first part of
  // every key path in the file.
  HiveStore(std::string path, std::string rootName);

  const std::string& Path() const { return m_file.Path(); }
  // "HKEY_CURRENT_USER\path".
  std::string FullKey(const std::string& path) const;

  // Whether this process can change the hive: write the file, or create it
  // (and the folders up to it), and replace it in its folder. When not, the
  // reason is the store's Problem().
  bool CanWrite();

  // The current document; a missing hive is an empty one. ERROR_SUCCESS,
  // ERROR_ACCESS_DENIED when the file cannot be read, ERROR_CANTREAD.
  long Load(std::shared_ptr<const HiveDocument>* doc);

  // Applies change to the current document under the lock and writes the
  // result when change returns true. ERROR_ACCESS_DENIED when the hive cannot
  // be written, ERROR_CANTREAD / ERROR_CANTWRITE on I/O failures (the hive is
  // then left as it was).
  long Modify(const std::function<bool(HiveDocument&)>& change);

  // Why the last failed call failed; none after a call that succeeded.
  const FileProblem& Problem() const { return m_file.Problem(); }

 private:
  FileProblem WriteProblem() const;
  // The document of `text`, parsed again only for a text not seen before.
  std::shared_ptr<const HiveDocument> Document(const std::string& text);
  void Warn(const std::vector<HiveProblem>& problems);

  CSharedTextFile m_file;
  std::string m_rootName;
  std::shared_ptr<const HiveDocument> m_cached;
  unsigned long m_parsed = 0;  // the file's generation m_cached was made from
  // Each skipped line is reported once per process, not on every read.
  std::set<std::pair<int, std::string>> m_warned;
};

}  // namespace toggra
