// The command line as the program's scripting interface: options, names,
// state file, a number pair and a colour letter, in one byte string.
#include <cstdint>
#include <limits>

#include "app/StartOptions.h"

namespace toggra {

namespace {

constexpr unsigned char kFirstHighByte = 0x80;
constexpr char kTrafficLightMark[] = "ampel";

// The group layout shows two blocks of four channels, every second one.
constexpr int kGroupStride = 2;
constexpr int kGroupSize = 4;

// What the colour letters mean; only these lower-case letters count.
struct ColourLetter {
  char letter;
  int colour;
};
constexpr ColourLetter kColourLetters[] = {{'r', 0}, {'g', 1}, {'y', 2}};

bool IsHigh(char c) { return static_cast<unsigned char>(c) >= kFirstHighByte; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// ASCII only: the letters mean the same whatever locale the process runs in.
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
// The white space that the C library's number reading skips.
bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads the text at the cursor the way the C library reads the format "%d %d".
class NumberPairReader {
 public:
  explicit NumberPairReader(const std::string& text) : m_text(text) {}

  // Returns how many numbers were read (1 or 2; the cursor is on a digit) and
  // moves the cursor to where the reading stopped.
  int Read(size_t& pos, int& first, int& second) const {
    size_t p = pos;
    if (!ReadInt(p, first)) return 0;
    pos = p;
    while (p < m_text.size() && IsCSpace(m_text[p])) ++p;
    if (!ReadInt(p, second)) return 1;
    pos = p;
    return 2;
  }

 private:
  // One %d: optional white space, an optional sign, at least one digit. A
  // value beyond 32 bits is defined here, not left to the library: it
  // saturates as strtol does and is then clamped to the int range, so
  // 99999999999 reads as 2147483647 and -99999999999 as -2147483648.
  bool ReadInt(size_t& pos, int& value) const {
    size_t p = pos;
    while (p < m_text.size() && IsCSpace(m_text[p])) ++p;
    bool negative = false;
    if (p < m_text.size() && (m_text[p] == '+' || m_text[p] == '-')) {
      negative = m_text[p] == '-';
      ++p;
    }
    if (p >= m_text.size() || !IsDigit(m_text[p])) return false;
    constexpr int64_t kCap = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    for (; p < m_text.size() && IsDigit(m_text[p]); ++p) {
      if (magnitude < kCap) magnitude = magnitude * 10 + (m_text[p] - '0');
    }
    const int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<int32_t>::max()) {
      value = std::numeric_limits<int32_t>::max();
    } else if (signedValue < std::numeric_limits<int32_t>::min()) {
      value = std::numeric_limits<int32_t>::min();
    } else {
      value = static_cast<int>(signedValue);
    }
    pos = p;
    return true;
  }

  const std::string& m_text;
};

class Parser {
 public:
  Parser(const std::string& text, StartOptions& options) : m_text(text), m_opt(options) {}

  void Run() {
    size_t p = 0;
    // Bytes of 0x80 and above end the scan between options; inside a name
    // list or a value they are letters of the name or path.
    while (p < m_text.size() && !IsHigh(m_text[p])) {
      const char c = m_text[p];
      if (c == '-') {
        p = Option(p);
      } else if (IsDigit(c)) {
        p = NumberPair(p);
      } else {
        for (const ColourLetter& l : kColourLetters) {
          if (c == l.letter) m_opt.colour = l.colour;
        }
        ++p;
      }
    }
  }

 private:
  size_t End() const { return m_text.size(); }
  char At(size_t p) const { return p < m_text.size() ? m_text[p] : '\0'; }

  // p is on the "-".
  size_t Option(size_t p) {
    switch (AsciiUpper(At(p + 1))) {
      case 'A':
        m_opt.trafficLight = true;
        return p + 2;
      case 'D':
        m_opt.groupMode = true;
        m_opt.groupStride = kGroupStride;
        m_opt.groupSize = kGroupSize;
        return p + 2;
      case 'F':
        m_opt.trayMode = false;
        return p + 2;
      case 'L':
        m_opt.logging = true;
        return p + 2;
      case 'T':
        m_opt.exclusive = true;
        return p + 2;
      case 'N':
        return NameList(p);
      case 'S':
        return StringValue(p + 2);
      default:
        // Not an option: only the "-" is passed over, so what follows keeps
        // its own meaning ("-g" still sets green).
        return p + 1;
    }
  }

  // p is on a digit. The cursor moves past all that the reading consumed, a
  // sign or tab before the second number included, so no part of the pair is
  // read a second time as a pair of its own.
  size_t NumberPair(size_t p) {
    int first = 0;
    int second = 0;
    const int read = NumberPairReader(m_text).Read(p, first, second);
    if (read >= 1) m_opt.number1 = first;
    if (read == 2) m_opt.number2 = second;
    return p;
  }

  // One value: quoted up to the next quote, else up to the next space; the
  // quote or space that ends it is consumed. The line's end also ends it.
  size_t Value(size_t p, std::string& value) const {
    const bool quoted = At(p) == '"';
    if (quoted) ++p;
    const size_t stop = m_text.find(quoted ? '"' : ' ', p);
    const size_t end = stop == std::string::npos ? End() : stop;
    value = m_text.substr(p, end - p);
    return end < End() ? end + 1 : End();
  }

  // p is on the "-" of "-N". Without a "[" the rest of the line is taken up.
  size_t NameList(size_t p) {
    const size_t open = m_text.find('[', p);
    if (open == std::string::npos) return End();
    size_t q = open + 1;
    if (At(q) == ']') return q;
    while (q < End()) {
      while (At(q) == ' ') ++q;
      std::string name;
      q = Value(q, name);
      m_opt.names.push_back(std::move(name));
      if (At(q) == ']') return q;
    }
    return End();
  }

  // p is just after the letter of "-S".
  size_t StringValue(size_t p) {
    while (At(p) == ' ') ++p;
    if (p >= End()) return End();
    return Value(p, m_opt.stateFile);
  }

  const std::string& m_text;
  StartOptions& m_opt;
};

bool NameMarksTrafficLight(const std::string& programName) {
  std::string lower = programName;
  for (char& c : lower) c = AsciiLower(c);
  return lower.find(kTrafficLightMark) != std::string::npos;
}

}  // namespace

StartOptions ParseCommandLine(const std::string& commandLine, const std::string& programName) {
  StartOptions options;
  options.trafficLight = NameMarksTrafficLight(programName);
  // A line that begins with a high byte counts as empty, although its scan
  // would end there anyway: only then are the display options read.
  options.noArguments = commandLine.empty() || commandLine[0] == '\0' || IsHigh(commandLine[0]);
  // The parser may stop at an embedded terminator: what follows it is not part
  // of the line the framework would have handed over.
  const std::string text = commandLine.substr(0, commandLine.find('\0'));
  Parser(text, options).Run();
  return options;
}

}  // namespace toggra
