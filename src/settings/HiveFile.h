// One hive in the registry export format, as text in memory.
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Arvendal GmbH\USB]
//   "28-1f-00001a2b-SwitchTimer"=dword:0000003c
//   "28-1f-00001a2b-devID"="Pumpe \"links\""
//   "00-00-00000000-AVdebugOptions"=hex:01,00,00,00
//
// The document keeps every line of the file. Only lines of values that are
// set are written anew; comments, blank lines and lines that cannot be parsed
// come back out exactly as they went in, so nothing a person wrote by hand is
// lost when the program saves a setting.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace toggra {

struct HiveValue {
  uint32_t type = 0;
  std::vector<unsigned char> data;
  bool operator==(const HiveValue&) const = default;
};

// A line the parser skipped: its number (from 1) and its text.
struct HiveProblem {
  int line = 0;
  std::string text;
};

class HiveDocument {
 public:
  static constexpr const char* kHeader = "REGEDIT4";

  // Parses the text of a hive file; lines it cannot read are listed in
  // *problems (when given) and kept for Serialize.
  static HiveDocument Parse(const std::string& text, std::vector<HiveProblem>* problems);
  std::string Serialize() const;

  // Full key paths include the root, e.g. "HKEY_CURRENT_USER\SOFTWARE\x".
  // Key and value names compare without regard to case, as on Windows.
  // A key exists when it has a section or a subkey has one.
  bool HasKey(const std::string& keyPath) const;
  const HiveValue* Find(const std::string& keyPath, const std::string& name) const;
  // Appends an empty section for the key when it does not exist yet.
  void AddKey(const std::string& keyPath);
  // Replaces the value in place (keeping the spelling of its name) or adds it
  // to the key's last section, creating the section when needed.
  void Set(const std::string& keyPath, const std::string& name, const HiveValue& value);

  // Whether a value name can be written as one line ("\n" cannot).
  static bool IsWritableName(const std::string& name);

 private:
  enum class Kind { Header, Other, Bad, Section, Value };
  struct Line {
    Kind kind = Kind::Other;
    std::vector<std::string> raw;  // physical lines, without line ends
    std::string key;               // folded key path (Section, Value)
    std::string name;              // value name as written (Value)
    HiveValue value;
    bool sectionLike = false;      // a "[...]" line, good or bad: ends a section
  };

  int LastValueLine(const std::string& foldedKey, const std::string& foldedName) const;

  void AppendSection(const std::string& keyPath);

  std::vector<Line> m_lines;
  bool m_crlf = false;
};

// ASCII case folding, enough for the key and value names the program uses.
std::string FoldCase(std::string text);

}  // namespace toggra
