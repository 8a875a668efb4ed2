#include "settings/HiveFile.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "settings/Registry.h"

namespace toggra {

namespace {

constexpr const char* kHeaderV5 = "Windows Registry Editor Version 5.00";
constexpr const char* kUtf8Bom = "\xEF\xBB\xBF";
// Hex lists are wrapped like the export of the Windows registry editor, so a
// long binary value stays readable and can be carried back as it is.
constexpr size_t kWrapColumn = 77;

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool StartsWithNoCase(const std::string& s, size_t pos, const char* prefix) {
  const size_t n = std::strlen(prefix);
  if (pos > s.size() || s.size() - pos < n) return false;
  return FoldCase(s.substr(pos, n)) == FoldCase(prefix);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void SkipBlanks(const std::string& s, size_t& pos) {
  while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
}

// A quoted string with \\ and \" escaped. A backslash before any other
// character is taken literally, so a hand-written "C:\temp" still reads.
bool ParseQuoted(const std::string& s, size_t& pos, std::string* out) {
  if (pos >= s.size() || s[pos] != '"') return false;
  ++pos;
  out->clear();
  while (pos < s.size()) {
    const char c = s[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"')) {
      out->push_back(s[pos + 1]);
      pos += 2;
      continue;
    }
    out->push_back(c);
    ++pos;
  }
  return false;
}

// Hex number of 1 to 8 digits.
bool ParseHexNumber(const std::string& s, size_t& pos, uint32_t* out) {
  size_t digits = 0;
  uint32_t v = 0;
  while (pos < s.size() && HexDigit(s[pos]) >= 0) {
    if (++digits > 8) return false;
    v = v * 16 + static_cast<uint32_t>(HexDigit(s[pos]));
    ++pos;
  }
  *out = v;
  return digits > 0;
}

// "01,02,ff"; an empty list is no bytes.
bool ParseHexList(const std::string& s, size_t pos, std::vector<unsigned char>* out) {
  out->clear();
  const std::string list = Trim(s.substr(pos));
  if (list.empty()) return true;
  size_t start = 0;
  while (true) {
    const size_t comma = list.find(',', start);
    const std::string token =
        Trim(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (token.empty() || token.size() > 2) return false;
    int v = 0;
    for (char c : token) {
      if (HexDigit(c) < 0) return false;
      v = v * 16 + HexDigit(c);
    }
    out->push_back(static_cast<unsigned char>(v));
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

// The position after "name"= (or @=), or npos when the line has no such start.
size_t DataStart(const std::string& body, std::string* name) {
  size_t pos = 0;
  std::string parsed;
  if (body.empty()) return std::string::npos;
  if (body[0] == '@') {
    pos = 1;
  } else if (!ParseQuoted(body, pos, &parsed)) {
    return std::string::npos;
  }
  SkipBlanks(body, pos);
  if (pos >= body.size() || body[pos] != '=') return std::string::npos;
  ++pos;
  SkipBlanks(body, pos);
  if (name) *name = parsed;
  return pos;
}

bool ParseValueLine(const std::string& body, std::string* name, HiveValue* value) {
  size_t pos = DataStart(body, name);
  if (pos == std::string::npos || pos >= body.size()) return false;
  if (body[pos] == '"') {
    std::string text;
    if (!ParseQuoted(body, pos, &text) || !Trim(body.substr(pos)).empty()) return false;
    value->type = REG_SZ;
    value->data.assign(text.begin(), text.end());
    value->data.push_back(0);
    return true;
  }
  if (StartsWithNoCase(body, pos, "dword:")) {
    pos += 6;
    uint32_t v = 0;
    if (!ParseHexNumber(body, pos, &v) || !Trim(body.substr(pos)).empty()) return false;
    value->type = REG_DWORD;
    value->data = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                   static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    return true;
  }
  if (StartsWithNoCase(body, pos, "hex:")) {
    value->type = REG_BINARY;
    return ParseHexList(body, pos + 4, &value->data);
  }
  if (StartsWithNoCase(body, pos, "hex(")) {
    pos += 4;
    uint32_t type = 0;
    if (!ParseHexNumber(body, pos, &type) || body.compare(pos, 2, "):") != 0) return false;
    value->type = type;
    return ParseHexList(body, pos + 2, &value->data);
  }
  return false;  // also "=-", which deletes a value on import and is no value here
}

bool IsValidUtf8(const std::vector<unsigned char>& d, size_t n) {
  for (size_t i = 0; i < n;) {
    const unsigned char c = d[i];
    size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      if ((d[i + k] & 0xC0) != 0x80) return false;
    }
    i += len;
  }
  return true;
}

// A string that survives the quoted form unchanged: one terminating zero, no
// other zero, no line break, valid UTF-8. Anything else is written as hex(1).
bool IsPlainText(const HiveValue& v) {
  if (v.data.empty() || v.data.back() != 0) return false;
  const size_t n = v.data.size() - 1;
  for (size_t i = 0; i < n; ++i) {
    if (v.data[i] == 0 || v.data[i] == '\n' || v.data[i] == '\r') return false;
  }
  return IsValidUtf8(v.data, n);
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

std::vector<std::string> FormatValue(const std::string& name, const HiveValue& v) {
  std::string head = name.empty() ? "@=" : "\"" + Escape(name) + "\"=";
  char buf[32];
  if (v.type == REG_DWORD && v.data.size() == 4) {
    const uint32_t d = v.data[0] | v.data[1] << 8 | v.data[2] << 16 | uint32_t{v.data[3]} << 24;
    std::snprintf(buf, sizeof buf, "dword:%08x", d);
    return {head + buf};
  }
  if (v.type == REG_SZ && IsPlainText(v)) {
    return {head + "\"" + Escape(std::string(v.data.begin(), v.data.end() - 1)) + "\""};
  }
  if (v.type == REG_BINARY) {
    head += "hex:";
  } else {
    std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
    head += buf;
  }
  std::vector<std::string> lines;
  std::string cur = head;
  for (size_t i = 0; i < v.data.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02x%s", v.data[i], i + 1 < v.data.size() ? "," : "");
    if (cur.size() + std::strlen(buf) > kWrapColumn && cur.back() == ',') {
      lines.push_back(cur + "\\");
      cur = "  ";
    }
    cur += buf;
  }
  lines.push_back(cur);
  return lines;
}

// A line that can go on a hex list: hex digits, commas and blanks, perhaps the
// backslash that carries it on again. Anything else starts a line of its own,
// so a list left open at the end of a file cannot take in what is written
// after it.
bool IsHexContinuation(const std::string& line) {
  const std::string t = Trim(line);
  return !t.empty() && t.find_first_not_of("0123456789abcdefABCDEF, \t\\") == std::string::npos;
}

bool IsHeader(const std::string& body) { return body == HiveDocument::kHeader || body == kHeaderV5; }

}  // namespace

std::string FoldCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool HiveDocument::IsWritableName(const std::string& name) {
  return name.find_first_of(std::string("\n\r\0", 3)) == std::string::npos;
}

HiveDocument HiveDocument::Parse(const std::string& text, std::vector<HiveProblem>* problems) {
  HiveDocument doc;
  std::vector<std::string> phys;
  for (size_t start = 0; start < text.size();) {
    size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(start, nl - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      if (phys.empty()) doc.m_crlf = true;
    }
    phys.push_back(std::move(line));
    start = nl + 1;
  }

  std::string key;
  bool inSection = false;
  bool seenContent = false;
  for (size_t i = 0; i < phys.size();) {
    const int number = static_cast<int>(i) + 1;
    Line line;
    line.raw.push_back(phys[i++]);
    std::string body = Trim(line.raw[0]);
    // The mark counts only as the file's very first bytes, where it is kept.
    if (number == 1 && line.raw[0].rfind(kUtf8Bom, 0) == 0) body = Trim(line.raw[0].substr(3));

    if (body.empty() || body[0] == ';') {
      line.kind = Kind::Other;
    } else if (!seenContent && IsHeader(body)) {
      line.kind = Kind::Header;
    } else if (body[0] == '[') {
      line.sectionLike = true;
      // "[-key]" deletes a key on import; it names no key of this hive.
      const bool ok = body.size() > 2 && body.back() == ']' && body[1] != '-';
      line.kind = ok ? Kind::Section : Kind::Bad;
      inSection = ok;
      if (ok) key = FoldCase(body.substr(1, body.size() - 2));
      line.key = ok ? key : "";
    } else {
      // A hex list may go on over several lines, each but the last ending in '\'.
      const size_t data = DataStart(body, nullptr);
      const bool hex = data != std::string::npos && StartsWithNoCase(body, data, "hex");
      while (hex && !body.empty() && body.back() == '\\' && i < phys.size() &&
             IsHexContinuation(phys[i])) {
        body.pop_back();
        line.raw.push_back(phys[i]);
        body += Trim(phys[i++]);
      }
      if (inSection && ParseValueLine(body, &line.name, &line.value)) {
        line.kind = Kind::Value;
        line.key = key;
      } else {
        line.kind = Kind::Bad;
      }
    }
    if (line.kind != Kind::Other) seenContent = true;
    if (line.kind == Kind::Bad && problems) problems->push_back({number, line.raw[0]});
    doc.m_lines.push_back(std::move(line));
  }
  return doc;
}

std::string HiveDocument::Serialize() const {
  const char* eol = m_crlf ? "\r\n" : "\n";
  std::string out;
  bool hasHeader = false;
  for (const Line& l : m_lines) hasHeader = hasHeader || l.kind == Kind::Header;
  // A file without its first line would not import on Windows.
  if (!hasHeader) out = std::string(kHeader) + eol + eol;
  const size_t bodyStart = out.size();
  for (const Line& l : m_lines) {
    for (const std::string& raw : l.raw) out += raw + eol;
  }
  // A byte-order mark is only one at the very start: moved behind the header,
  // it would make the line it began unreadable.
  if (bodyStart > 0 && out.compare(bodyStart, 3, kUtf8Bom) == 0) {
    out.erase(bodyStart, 3);
    out.insert(0, kUtf8Bom);
  }
  return out;
}

bool HiveDocument::HasKey(const std::string& keyPath) const {
  const std::string k = FoldCase(keyPath);
  for (const Line& l : m_lines) {
    if (l.kind != Kind::Section) continue;
    if (l.key == k || (l.key.size() > k.size() && l.key.compare(0, k.size(), k) == 0 &&
                       l.key[k.size()] == '\\')) {
      return true;
    }
  }
  return false;
}

int HiveDocument::LastValueLine(const std::string& foldedKey, const std::string& foldedName) const {
  // A value set twice by hand: the later line counts, as on import.
  for (int i = static_cast<int>(m_lines.size()) - 1; i >= 0; --i) {
    const Line& l = m_lines[i];
    if (l.kind == Kind::Value && l.key == foldedKey && FoldCase(l.name) == foldedName) return i;
  }
  return -1;
}

const HiveValue* HiveDocument::Find(const std::string& keyPath, const std::string& name) const {
  const int i = LastValueLine(FoldCase(keyPath), FoldCase(name));
  return i < 0 ? nullptr : &m_lines[i].value;
}

void HiveDocument::AppendSection(const std::string& keyPath) {
  if (!m_lines.empty() && !(m_lines.back().kind == Kind::Other &&
                            Trim(m_lines.back().raw.back()).empty())) {
    m_lines.push_back(Line{Kind::Other, {""}, "", "", {}, false});
  }
  m_lines.push_back(Line{Kind::Section, {"[" + keyPath + "]"}, FoldCase(keyPath), "", {}, true});
}

void HiveDocument::AddKey(const std::string& keyPath) {
  if (!HasKey(keyPath)) AppendSection(keyPath);
}

void HiveDocument::Set(const std::string& keyPath, const std::string& name,
                       const HiveValue& value) {
  const std::string k = FoldCase(keyPath);
  const int existing = LastValueLine(k, FoldCase(name));
  if (existing >= 0) {
    Line& l = m_lines[existing];
    if (l.value == value) return;  // keep the line as the person wrote it
    l.value = value;
    l.raw = FormatValue(l.name, value);
    return;
  }
  int section = -1;
  for (int i = 0; i < static_cast<int>(m_lines.size()); ++i) {
    if (m_lines[i].kind == Kind::Section && m_lines[i].key == k) section = i;
  }
  if (section < 0) {
    AppendSection(keyPath);
    section = static_cast<int>(m_lines.size()) - 1;
  }
  int at = section + 1;
  for (int i = section + 1; i < static_cast<int>(m_lines.size()) && !m_lines[i].sectionLike; ++i) {
    if (m_lines[i].kind == Kind::Value) at = i + 1;
  }
  m_lines.insert(m_lines.begin() + at,
                 Line{Kind::Value, FormatValue(name, value), k, name, value, false});
}

}  // namespace toggra
