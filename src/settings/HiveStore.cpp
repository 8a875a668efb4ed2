#include "settings/HiveStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "settings/Registry.h"

namespace toggra {

namespace {

// A new hive is readable by everyone, like the other files in /etc and
// ~/.config; an existing one keeps its mode.
constexpr mode_t kNewHiveMode = 0644;
// Far beyond any hive written by hand or by the program; larger is no hive.
constexpr off_t kMaxHiveSize = 16 << 20;

std::string Parent(const std::string& path) {
  const std::string parent = std::filesystem::path(path).parent_path().string();
  return parent.empty() ? "." : parent;
}

// 0 when the effective ids may access path in `mode`, as for the open that
// follows; else the errno value.
int AccessError(const std::string& path, int mode) {
  return faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0 ? 0 : errno;
}

// The file the hive name leads to: a hive kept as a symbolic link (for example
// into a folder of dotfiles) stays one when it is replaced.
std::string Resolved(const std::string& path) {
  char buf[PATH_MAX];
  return realpath(path.c_str(), buf) ? std::string(buf) : path;
}

CSharedTextFile::Options HiveOptions() {
  CSharedTextFile::Options o;
  o.noun = "settings file";
  o.lock = CSharedTextFile::LockPlace::LockFile;
  o.missingIsEmpty = true;  // no hive yet: no keys
  o.newMode = kNewHiveMode;
  o.maxSize = kMaxHiveSize;
  return o;
}

}  // namespace

HiveStore::HiveStore(std::string path, std::string rootName)
    : m_file(std::move(path), HiveOptions()), m_rootName(std::move(rootName)) {}

std::string HiveStore::FullKey(const std::string& path) const {
  return path.empty() ? m_rootName : m_rootName + "\\" + path;
}

FileProblem HiveStore::WriteProblem() const {
  const std::string& path = Path();
  // Without a home folder there is no per-user hive to write.
  if (path.empty()) return m_file.Describe(ENOENT, FileStep::Write);
  auto failed = [this](int error) { return m_file.Describe(error, FileStep::Write); };
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode))
      return m_file.Describe(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, FileStep::NotRegular);
    const std::string target = Resolved(path);
    if (const int error = AccessError(target, W_OK)) return failed(error);
    if (const int error = AccessError(Parent(target), W_OK | X_OK)) return failed(error);
    return {};
  }
  // ENOTDIR: a part of the path is a file, so the folder can never be made.
  if (errno != ENOENT) return failed(errno);
  // The nearest existing folder must let us create the rest of the path.
  for (std::string dir = Parent(path);; dir = Parent(dir)) {
    if (stat(dir.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return failed(ENOTDIR);
      const int error = AccessError(dir, W_OK | X_OK);
      return error ? failed(error) : FileProblem{};
    }
    if (errno != ENOENT || Parent(dir) == dir) return failed(errno);
  }
}

bool HiveStore::CanWrite() {
  const FileProblem problem = WriteProblem();
  if (problem) m_file.Report(problem);
  return !problem;
}

std::shared_ptr<const HiveDocument> HiveStore::Document(const std::string& text) {
  if (!m_cached || m_parsed != m_file.Generation()) {
    std::vector<HiveProblem> problems;
    m_cached = std::make_shared<const HiveDocument>(HiveDocument::Parse(text, &problems));
    m_parsed = m_file.Generation();
    Warn(problems);
  }
  return m_cached;
}

long HiveStore::Load(std::shared_ptr<const HiveDocument>* doc) {
  const std::string* text = m_file.Current();
  if (!text) return m_file.Problem().error == EACCES ? ERROR_ACCESS_DENIED : ERROR_CANTREAD;
  *doc = Document(*text);
  m_file.Recovered();
  return ERROR_SUCCESS;
}

long HiveStore::Modify(const std::function<bool(HiveDocument&)>& change) {
  if (!CanWrite()) return ERROR_ACCESS_DENIED;
  std::error_code ec;
  std::filesystem::create_directories(Parent(Path()), ec);
  if (ec) {
    m_file.Report(m_file.Describe(ec.value(), FileStep::Write));
    return ERROR_ACCESS_DENIED;
  }
  // The text is always read afresh under the lock: another instance may have
  // written a moment ago, within the resolution of the file times.
  const auto result = m_file.Modify([&](const std::string& text) -> std::optional<std::string> {
    std::vector<HiveProblem> problems;
    HiveDocument current = HiveDocument::Parse(text, &problems);
    Warn(problems);
    if (!change(current)) return std::nullopt;
    return current.Serialize();
  });
  if (result == CSharedTextFile::Change::Failed) {
    // A hive that could not be read is never overwritten.
    switch (Problem().step) {
      case FileStep::Lock:
        return ERROR_ACCESS_DENIED;
      case FileStep::Read:
        return Problem().error == EACCES ? ERROR_ACCESS_DENIED : ERROR_CANTREAD;
      case FileStep::NotRegular:
        return ERROR_CANTREAD;
      default:
        return ERROR_CANTWRITE;
    }
  }
  m_file.Recovered();
  return ERROR_SUCCESS;
}

void HiveStore::Warn(const std::vector<HiveProblem>& problems) {
  for (const HiveProblem& p : problems) {
    if (!m_warned.insert({p.line, p.text}).second) continue;
    std::fprintf(stderr, "toggra: %s:%d: line not understood, skipped: %s\n", Path().c_str(),
                 p.line, p.text.c_str());
  }
}

}  // namespace toggra
