// A text file shared by several processes: the bench file and the hives.
//
// Every change is a read-modify-write under an exclusive flock: the text is
// read afresh, changed, written to a temporary file in the same folder,
// flushed with fsync and renamed over the file, so a reader never sees half a
// file, no change of another process is lost and a crash leaves the old text
// or the new one. Reading costs one stat while the file is unchanged.
// Not for use by several threads at once.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "files/UniqueFd.h"

namespace toggra {

// What was being done when a file failed.
enum class FileStep { Read, NotRegular, Lock, Write, WriteNext, Replace };

// Why the file could not be used, for a message or a diagnostic line.
struct FileProblem {
  int error = 0;  // errno value; EISDIR / EINVAL for a folder / a FIFO in the file's place
  FileStep step = FileStep::Read;
  std::string text;  // "<path>: cannot read the <noun>: <reason>", for stderr
  explicit operator bool() const { return error != 0; }
  bool operator==(const FileProblem&) const = default;
};

class CSharedTextFile {
 public:
  // Receives each problem once, until the file is fine again.
  using ErrorSink = std::function<void(const FileProblem&)>;

  // Every change sets a file's ctime to the current time, at the
  // granularity of its filesystem: whole seconds on some, two on FAT. A file
  // changed in place within that granule after a read may keep its stamp, so
  // the stamp is trusted only once the ctime is `settle` older than the read.
  static constexpr std::chrono::nanoseconds kSettle = std::chrono::seconds(2);

  enum class LockPlace {
    TheFile,   // flock on the file itself: it must exist to be changed
    LockFile,  // flock on "<file>.lock" beside it, which also guards creating the file
  };
  struct Options {
    std::string noun = "file";  // in the diagnostics: "cannot read the <noun>"
    LockPlace lock = LockPlace::TheFile;
    bool missingIsEmpty = false;  // a missing file reads as "" and a change creates it
    mode_t newMode = 0;           // of a file that is created; 0: 0666 less the umask
    off_t maxSize = 1 << 20;      // anything larger is not read into memory
    std::chrono::nanoseconds settle = kSettle;
  };

  CSharedTextFile(std::string path, Options options, ErrorSink errors = {});

  const std::string& Path() const { return m_path; }

  // The text now, or null while the file cannot be read. Costs one stat while
  // the stamp is trusted and unchanged.
  const std::string* Current();
  // The text read afresh.
  const std::string* Reload();
  // Counts the texts seen: it changes exactly when Current() returns another
  // text, so a caller parses again only then.
  unsigned long Generation() const { return m_generation; }

  enum class Change { Failed, Unchanged, Written };
  // Read-modify-write under the lock: `change` gets the text and returns the
  // new one, or nothing to leave the file alone.
  Change Modify(const std::function<std::optional<std::string>(const std::string&)>& change);
  // Replaces the whole text, creating the file when it is missing.
  bool Replace(const std::string& text);

  // The last problem, or none once the file was fine again.
  const FileProblem& Problem() const { return m_problem; }
  // The one reporting path: passes a problem to the sink unless it is the one
  // already reported. Owners report what they find in the text here too.
  void Report(const FileProblem& problem);
  // The file is fine: a later problem is reported again.
  void Recovered() { m_problem = {}; }
  // The problem of `step` failing with `error`, worded for this file.
  FileProblem Describe(int error, FileStep step) const;

 private:
  // What stat tells about the file's contents. The inode is held open (see
  // m_held), so a file put in its place by rename always has another one.
  struct Stamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    timespec mtime{};
    timespec ctime{};
    bool operator==(const Stamp& o) const;
  };
  static Stamp StampOf(const struct stat& st);

  const std::string* Adopt(UniqueFd fd, const Stamp& stamp, const timespec& readStart,
                           std::string text);
  const std::string* Fail(int error, FileStep step);
  bool ReadLocked(const UniqueFd& locked, std::string& text, Stamp& stamp, mode_t& mode);
  bool Lock(UniqueFd& lock);
  bool LockExisting(UniqueFd& locked, bool& notRegular);
  bool WriteReplacement(const std::string& text, mode_t mode, UniqueFd& written);
  mode_t ModeForNew() const;

  std::string m_path;
  Options m_options;
  ErrorSink m_errors;
  timespec m_settle{};
  FileProblem m_problem;

  bool m_cached = false;   // m_text and m_stamp describe the file
  bool m_settled = false;  // the file's ctime is old enough for its stamp to be trusted
  Stamp m_stamp;
  std::string m_text;
  unsigned long m_generation = 0;
  UniqueFd m_held;  // keeps the cached inode alive, so its number is not reused
};

// The system's text for an errno value.
std::string ErrnoText(int error);

}  // namespace toggra
