#include "config/ConfFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "files/UniqueFd.h"

namespace toggra::config {

namespace {

constexpr mode_t kNewFileMode = 0644;

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

std::string SystemReason() { return std::generic_category().message(errno); }

}  // namespace

CConfFile CConfFile::Parse(const std::string& text) {
  CConfFile file;
  file.m_finalNewline = text.empty() || text.back() == '\n';
  std::string section;
  size_t start = 0;
  int number = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    Line line;
    line.raw = text.substr(start, end - start);
    start = end + 1;
    ++number;
    const std::string t = Trimmed(line.raw);
    // '#' opens a comment only at the start of a line, so that a caption may
    // hold one; ';' is taken too, as many such files use it.
    if (t.empty() || t[0] == '#' || t[0] == ';') {
      line.section = section;
    } else if (t[0] == '[') {
      const std::string name = t.size() > 2 && t.back() == ']' ? Trimmed(t.substr(1, t.size() - 2)) : "";
      if (name.empty()) {
        file.m_problems.push_back({number, "not a section header: " + t});
        line.section = section;
      } else {
        section = name;
        line.kind = Kind::kSection;
        line.section = section;
      }
    } else if (const size_t eq = t.find('='); eq == std::string::npos || Trimmed(t.substr(0, eq)).empty()) {
      file.m_problems.push_back({number, "not KEY = VALUE: " + t});
      line.section = section;
    } else if (section.empty()) {
      file.m_problems.push_back({number, "KEY = VALUE before any [section]: " + t});
    } else {
      line.kind = Kind::kEntry;
      line.section = section;
      line.key = Trimmed(t.substr(0, eq));
      line.value = Trimmed(t.substr(eq + 1));
    }
    file.m_lines.push_back(std::move(line));
  }
  return file;
}

std::optional<ConfEntry> CConfFile::Get(const std::string& section, const std::string& key) const {
  for (size_t i = m_lines.size(); i-- > 0;) {
    const Line& l = m_lines[i];
    if (l.kind == Kind::kEntry && l.section == section && l.key == key)
      return ConfEntry{l.section, l.key, l.value, static_cast<int>(i + 1)};
  }
  return std::nullopt;
}

std::vector<ConfEntry> CConfFile::Entries() const {
  std::vector<ConfEntry> entries;
  for (size_t i = 0; i < m_lines.size(); ++i) {
    const Line& l = m_lines[i];
    if (l.kind == Kind::kEntry) entries.push_back({l.section, l.key, l.value, static_cast<int>(i + 1)});
  }
  return entries;
}

void CConfFile::Set(const std::string& section, const std::string& key, const std::string& value) {
  Line entry;
  entry.kind = Kind::kEntry;
  entry.section = section;
  entry.key = key;
  entry.value = value;
  entry.raw = key + " = " + value;
  for (size_t i = m_lines.size(); i-- > 0;) {
    if (m_lines[i].kind == Kind::kEntry && m_lines[i].section == section && m_lines[i].key == key) {
      m_lines[i] = std::move(entry);
      return;
    }
  }
  // After the section's last entry, so that comments that open the next
  // section stay with it.
  size_t at = m_lines.size();
  bool found = false, entries = false;
  for (size_t i = 0; i < m_lines.size(); ++i) {
    const Line& l = m_lines[i];
    if (l.section != section) continue;
    if (l.kind == Kind::kSection || l.kind == Kind::kEntry) {
      at = i + 1;
      found = true;
      entries = entries || l.kind == Kind::kEntry;
    }
  }
  // A section without entries: after the comment lines under its header.
  while (found && !entries && at < m_lines.size() && m_lines[at].kind == Kind::kOther &&
         m_lines[at].section == section && !Trimmed(m_lines[at].raw).empty())
    ++at;
  if (!found) {
    if (!m_lines.empty() && !Trimmed(m_lines.back().raw).empty()) m_lines.push_back({});
    Line header;
    header.kind = Kind::kSection;
    header.section = section;
    header.raw = "[" + section + "]";
    m_lines.push_back(std::move(header));
    at = m_lines.size();
  }
  m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
  m_finalNewline = true;
}

bool CConfFile::Remove(const std::string& section, const std::string& key) {
  const size_t before = m_lines.size();
  std::erase_if(m_lines, [&](const Line& l) {
    return l.kind == Kind::kEntry && l.section == section && l.key == key;
  });
  return m_lines.size() != before;
}

std::string CConfFile::Text() const {
  std::string text;
  for (size_t i = 0; i < m_lines.size(); ++i) {
    text += m_lines[i].raw;
    if (i + 1 < m_lines.size() || m_finalNewline) text += '\n';
  }
  return text;
}

bool ReadConfFile(const std::string& path, CConfFile* file, std::string* reason) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
    *file = CConfFile::Parse("");
    return true;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in || S_ISDIR(st.st_mode)) {
    *reason = path + ": " + (S_ISDIR(st.st_mode) ? "is a folder" : SystemReason());
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  *file = CConfFile::Parse(text.str());
  return true;
}

bool WriteConfFile(const std::string& path, const CConfFile& file, std::string* reason) {
  const std::filesystem::path target(path);
  std::error_code ec;
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
  if (ec) {
    *reason = target.parent_path().string() + ": " + ec.message();
    return false;
  }
  struct stat st {};
  const mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : kNewFileMode;
  std::string temp = path + ".XXXXXX";
  UniqueFd fd(::mkstemp(temp.data()));
  if (!fd.Valid()) {
    *reason = path + ": " + SystemReason();
    return false;
  }
  const std::string text = file.Text();
  size_t done = 0;
  bool ok = ::fchmod(fd.Get(), mode) == 0;
  while (ok && done < text.size()) {
    const ssize_t n = ::write(fd.Get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ok && ::fsync(fd.Get()) == 0;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    *reason = path + ": " + SystemReason();
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace toggra::config
