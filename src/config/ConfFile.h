// toggra.conf: `key = value` lines in `[section]`s, `#` comments. A file is
// kept line for line, so that writing it back changes only the values set and
// keeps comments, blank lines, unknown keys and even unreadable lines.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace toggra::config {

// A line that is neither blank, a comment, a section header nor `key = value`.
struct ConfProblem {
  int line = 0;  // 1-based
  std::string text;
};

struct ConfEntry {
  std::string section;
  std::string key;
  std::string value;
  int line = 0;  // 1-based
};

class CConfFile {
 public:
  static CConfFile Parse(const std::string& text);

  // The last entry of `key` in `section` (a later line overrides an earlier one).
  std::optional<ConfEntry> Get(const std::string& section, const std::string& key) const;
  // Every entry in file order (later duplicates included).
  std::vector<ConfEntry> Entries() const;
  const std::vector<ConfProblem>& Problems() const { return m_problems; }

  // Changes the value in place where the key is set, else adds the line at the
  // end of the section (which is added at the end of the file when missing).
  void Set(const std::string& section, const std::string& key, const std::string& value);
  // Removes every line that sets `key` in `section`; false when there was none.
  bool Remove(const std::string& section, const std::string& key);

  std::string Text() const;

 private:
  enum class Kind { kOther, kSection, kEntry };
  struct Line {
    Kind kind = Kind::kOther;
    std::string raw;
    std::string section;  // the section the line is in (its own for a header)
    std::string key, value;
  };
  std::vector<Line> m_lines;
  std::vector<ConfProblem> m_problems;
  bool m_finalNewline = true;
};

// Reads a file; a missing file is an empty one (true). False with *reason when
// it exists but cannot be read.
bool ReadConfFile(const std::string& path, CConfFile* file, std::string* reason);
// Writes through a temporary file in the same folder and a rename, creating the
// folder; the file keeps its mode, a new one gets 0644.
bool WriteConfFile(const std::string& path, const CConfFile& file, std::string* reason);

}  // namespace toggra::config
