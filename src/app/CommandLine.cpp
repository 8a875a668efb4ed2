// The command line as the program's scripting interface: options, names,
// state file, a number pair and a colour letter, in one byte string.
#include <cstdint>
#include <limits>
#include <optional>

#include "app/Format.h"
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

// The warnings name the piece that had no effect, so that a user can find it
// in what was typed; the program starts as it always did.
constexpr char kWarnUnknownOption[] = "unbekannte Option „-%c“ übergangen";
constexpr char kWarnLoneDash[] = "„-“ ohne Optionsbuchstaben übergangen";
constexpr char kWarnDashBeforeNumber[] =
    "„-“ vor „%s“ übergangen: die erste Zahl ist nie negativ";
constexpr char kWarnIgnoredText[] = "„%s“ nicht verstanden, übergangen";
constexpr char kWarnNumberReplaced[] =
    "Zahl „%s“ übergangen: die spätere Zahl „%s“ ersetzt sie "
    "(es zählen nur zwei Zahlen)";
constexpr char kWarnColourReplaced[] =
    "Farbe „%c“ übergangen: die spätere Farbe „%c“ ersetzt sie";
constexpr char kWarnStateFileMissing[] = "„-S“ ohne Datei übergangen";
constexpr char kWarnStateFileReplaced[] =
    "Zustandsdatei „%s“ übergangen: ein späteres „-S“ ersetzt sie";
constexpr char kWarnNamesWithoutBracket[] = "„-N“ ohne „[“ übergangen";
constexpr char kWarnRestTakenUp[] =
    "„%s“ übergangen: „-N“ ohne „[“ verbraucht den Rest der "
    "Befehlszeile";
constexpr char kWarnBeforeBracket[] =
    "„%s“ zwischen „-N“ und „[“ übergangen";
constexpr char kWarnNamesUnclosed[] =
    "Namensliste ohne „]“: der Rest der Befehlszeile wurde als Namen gelesen "
    "(vor „]“ gehört ein Leerzeichen)";
constexpr char kWarnHighByte[] =
    "„%s“ übergangen: ein Byte ab 0x80 zwischen den Optionen beendet das Lesen";

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
  // moves the cursor to where the reading stopped. *secondStart is where the
  // second number's sign or digits begin.
  int Read(size_t& pos, int& first, int& second, size_t* secondStart) const {
    size_t p = pos;
    if (!ReadInt(p, first)) return 0;
    pos = p;
    while (p < m_text.size() && IsCSpace(m_text[p])) ++p;
    *secondStart = p;
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
        FlushIgnored(p);
        p = Option(p);
      } else if (IsDigit(c)) {
        FlushIgnored(p);
        p = NumberPair(p);
      } else if (const std::optional<int> colour = ColourOf(c)) {
        FlushIgnored(p);
        if (m_colourLetter) Warn(Format(kWarnColourReplaced, m_colourLetter, c));
        m_colourLetter = c;
        m_opt.colour = *colour;
        ++p;
      } else {
        if (IsCSpace(c)) {
          FlushIgnored(p);
        } else if (m_ignoredStart == std::string::npos) {
          m_ignoredStart = p;
        }
        ++p;
      }
    }
    FlushIgnored(p);
    if (p < End()) Warn(Format(kWarnHighByte, m_text.substr(p).c_str()));
  }

 private:
  size_t End() const { return m_text.size(); }
  char At(size_t p) const { return p < m_text.size() ? m_text[p] : '\0'; }
  void Warn(std::string text) { m_opt.warnings.push_back(std::move(text)); }

  static std::optional<int> ColourOf(char c) {
    for (const ColourLetter& l : kColourLetters) {
      if (c == l.letter) return l.colour;
    }
    return std::nullopt;
  }

  // Text the scan passed over without effect, up to p, becomes one warning.
  void FlushIgnored(size_t p) {
    if (m_ignoredStart == std::string::npos) return;
    Warn(Format(kWarnIgnoredText, m_text.substr(m_ignoredStart, p - m_ignoredStart).c_str()));
    m_ignoredStart = std::string::npos;
  }

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
      case 'H':
      case '?':
        m_opt.help = true;
        return p + 2;
      default:
        return NoOption(p);
    }
  }

  // Not an option: only the "-" is passed over, so what follows keeps its
  // own meaning ("-g" still sets green). A letter that means nothing by
  // itself is taken with the dash, which changes nothing but lets the
  // warning name the option as it was typed.
  size_t NoOption(size_t p) {
    const char next = At(p + 1);
    if (ColourOf(next)) return p + 1;
    if (IsDigit(next)) {
      size_t end = p + 1;
      while (IsDigit(At(end))) ++end;
      Warn(Format(kWarnDashBeforeNumber, m_text.substr(p + 1, end - p - 1).c_str()));
      return p + 1;
    }
    if (p + 1 >= End() || IsCSpace(next) || next == '-' || IsHigh(next)) {
      Warn(kWarnLoneDash);
      return p + 1;
    }
    Warn(Format(kWarnUnknownOption, next));
    return p + 2;
  }

  // p is on a digit. The cursor moves past all that the reading consumed, a
  // sign or tab before the second number included, so no part of the pair is
  // read a second time as a pair of its own.
  size_t NumberPair(size_t p) {
    int first = 0;
    int second = 0;
    const size_t start = p;
    size_t secondStart = p;
    const int read = NumberPairReader(m_text).Read(p, first, second, &secondStart);
    const size_t firstEnd = read == 2 ? m_text.find_last_not_of(" \t\n\v\f\r", secondStart - 1) + 1 : p;
    if (read >= 1) {
      SetNumber(0, m_text.substr(start, firstEnd - start));
      m_opt.number1 = first;
    }
    if (read == 2) {
      SetNumber(1, m_text.substr(secondStart, p - secondStart));
      m_opt.number2 = second;
    }
    return p;
  }

  // Remembers what was typed for number slot k, and reports the earlier text
  // that it replaces.
  void SetNumber(int k, std::string text) {
    if (!m_numberText[k].empty()) {
      Warn(Format(kWarnNumberReplaced, m_numberText[k].c_str(), text.c_str()));
    }
    m_numberText[k] = std::move(text);
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
    if (open == std::string::npos) {
      const std::string rest = Trimmed(m_text.substr(p + 2));
      Warn(rest.empty() ? std::string(kWarnNamesWithoutBracket)
                        : Format(kWarnRestTakenUp, rest.c_str()));
      return End();
    }
    const std::string between = Trimmed(m_text.substr(p + 2, open - p - 2));
    if (!between.empty()) Warn(Format(kWarnBeforeBracket, between.c_str()));
    size_t q = open + 1;
    // Past the "]": it means nothing to the scan that goes on after it.
    if (At(q) == ']') return q + 1;
    while (q < End()) {
      while (At(q) == ' ') ++q;
      std::string name;
      q = Value(q, name);
      m_opt.names.push_back(std::move(name));
      if (At(q) == ']') return q + 1;
    }
    Warn(kWarnNamesUnclosed);
    return End();
  }

  // p is just after the letter of "-S".
  size_t StringValue(size_t p) {
    while (At(p) == ' ') ++p;
    if (p >= End()) {
      Warn(kWarnStateFileMissing);
      return End();
    }
    const std::string earlier = m_opt.stateFile;
    const size_t next = Value(p, m_opt.stateFile);
    if (!earlier.empty()) Warn(Format(kWarnStateFileReplaced, earlier.c_str()));
    if (m_opt.stateFile.empty()) Warn(kWarnStateFileMissing);
    return next;
  }

  static std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
  }

  const std::string& m_text;
  StartOptions& m_opt;
  size_t m_ignoredStart = std::string::npos;
  char m_colourLetter = 0;
  std::string m_numberText[2];
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
