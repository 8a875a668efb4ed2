#include "device/BenchFile.h"

#include <cerrno>

namespace toggra {

namespace {

// A bench file describes at most a few dozen devices; anything far larger is
// not one, and is not read into memory.
constexpr off_t kMaxBenchSize = 1 << 20;

CSharedTextFile::Options BenchOptions(std::chrono::nanoseconds settle) {
  CSharedTextFile::Options o;
  o.noun = "bench file";
  o.lock = CSharedTextFile::LockPlace::TheFile;
  o.maxSize = kMaxBenchSize;
  o.settle = settle;
  return o;
}

}  // namespace

BenchFile::BenchFile(std::string path, ErrorSink errors, std::chrono::nanoseconds settle)
    : m_file(std::move(path), BenchOptions(settle),
             [errors = std::move(errors)](const FileProblem& p) {
               if (errors) errors(p.text);
             }) {}

const BenchSet* BenchFile::Parsed(const std::string* text) {
  if (!text) return nullptr;
  // Until its stamp is trusted the file is read on every call; it needs
  // parsing again only when its text changed.
  if (m_parsed != m_file.Generation()) {
    m_parse = ParseBench(*text, Path());
    m_parsed = m_file.Generation();
  }
  if (!m_parse.ok) {
    // A file that stays malformed is reported once, as one that stays missing.
    m_file.Report({EINVAL, FileStep::Read, m_parse.error});
    return nullptr;
  }
  m_file.Recovered();
  return &m_parse.set;
}

const BenchSet* BenchFile::Current() { return Parsed(m_file.Current()); }

const BenchSet* BenchFile::Reload() { return Parsed(m_file.Reload()); }

bool BenchFile::Modify(const std::function<bool(BenchSet&)>& change) {
  BenchParse parse;
  const auto result = m_file.Modify([&](const std::string& text) -> std::optional<std::string> {
    parse = ParseBench(text, Path());
    if (!parse.ok) {
      m_file.Report({EINVAL, FileStep::Read, parse.error});
      return std::nullopt;
    }
    if (!change(parse.set)) return std::nullopt;
    return parse.set.Render();
  });
  if (result != CSharedTextFile::Change::Written) return false;
  // What was just written is known and need not be parsed again.
  m_parse = std::move(parse);
  m_parsed = m_file.Generation();
  m_file.Recovered();
  return true;
}

bool BenchFile::Replace(const std::string& text) { return m_file.Replace(text); }

}  // namespace toggra
