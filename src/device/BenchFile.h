// One bench file shared by several processes, as real hardware is shared by
// the programs that use it. Every change is a read-modify-write under an
// exclusive lock that replaces the file by rename, so a reader never sees half
// a file and no change is lost; reading re-parses only when the file changed.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "device/BenchFormat.h"
#include "files/SharedTextFile.h"

namespace toggra {

class BenchFile {
 public:
  // Receives each problem once, until the file is fine again.
  using ErrorSink = std::function<void(const std::string&)>;

  // Every change sets a file's ctime to the current time, at the
  // granularity of its filesystem: whole seconds on some, two on FAT. A file
  // changed in place within that granule after a read may keep its stamp, so
  // the stamp is trusted only once the ctime is `settle` older than the read.
  static constexpr std::chrono::nanoseconds kSettle = CSharedTextFile::kSettle;

  BenchFile(std::string path, ErrorSink errors, std::chrono::nanoseconds settle = kSettle);

  const std::string& Path() const { return m_file.Path(); }

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
  const BenchSet* Parsed(const std::string* text);

  CSharedTextFile m_file;
  unsigned long m_parsed = 0;  // the file's generation m_parse was made from
  BenchParse m_parse;
};

}  // namespace toggra
