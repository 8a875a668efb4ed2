#include "settings/HiveStore.h"

#include <fcntl.h>
#include <sys/file.h>
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

std::string Parent(const std::string& path) {
  const std::string parent = std::filesystem::path(path).parent_path().string();
  return parent.empty() ? "." : parent;
}

bool Writable(const std::string& path, int mode) {
  // The effective ids decide, as for the open that follows.
  return faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0;
}

// The file the hive name leads to: a hive kept as a symbolic link (for example
// into a folder of dotfiles) stays one when it is replaced.
std::string Resolved(const std::string& path) {
  char buf[PATH_MAX];
  return realpath(path.c_str(), buf) ? std::string(buf) : path;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) close(m_fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return m_fd; }
  int Release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
  }

 private:
  int m_fd;
};

int OpenLockFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kNewHiveMode);
  // Someone else's lock file: a read-only descriptor locks just as well.
  if (fd < 0 && errno == EACCES) return open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return fd;
}

// Exclusive flock of the lock file next to the hive, held for one change and
// released when the descriptor closes.
class HiveLock {
 public:
  explicit HiveLock(const std::string& path) : m_fd(OpenLockFile(path)) {
    if (m_fd.Get() < 0) return;
    while (flock(m_fd.Get(), LOCK_EX) != 0) {
      if (errno != EINTR) return;
    }
    m_held = true;
  }
  bool Held() const { return m_held; }

 private:
  FileDescriptor m_fd;
  bool m_held = false;
};

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

HiveStore::HiveStore(std::string path, std::string rootName)
    : m_path(std::move(path)), m_rootName(std::move(rootName)) {}

std::string HiveStore::FullKey(const std::string& path) const {
  return path.empty() ? m_rootName : m_rootName + "\\" + path;
}

bool HiveStore::CanWrite() const {
  if (m_path.empty()) return false;
  struct stat st;
  if (stat(m_path.c_str(), &st) == 0) {
    const std::string target = Resolved(m_path);
    return S_ISREG(st.st_mode) && Writable(target, W_OK) && Writable(Parent(target), W_OK | X_OK);
  }
  // ENOTDIR: a part of the path is a file, so the folder can never be made.
  if (errno != ENOENT) return false;
  // The nearest existing folder must let us create the rest of the path.
  for (std::string dir = Parent(m_path);; dir = Parent(dir)) {
    if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode) && Writable(dir, W_OK | X_OK);
    if (errno != ENOENT || Parent(dir) == dir) return false;
  }
}

long HiveStore::ReadFile(std::shared_ptr<const HiveDocument>* doc, bool useCache) {
  // Without waiting: a FIFO put in the hive's place must not block the open.
  FileDescriptor fd(open(m_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  Identity id;
  if (fd.Get() < 0) {
    if (errno == EACCES) return ERROR_ACCESS_DENIED;
    if (errno != ENOENT && errno != ENOTDIR) return ERROR_CANTREAD;
    // No hive yet: no keys.
  } else {
    struct stat st;
    if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return ERROR_CANTREAD;
    id = {st.st_dev,
          st.st_ino,
          st.st_size,
          st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec,
          st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec};
  }
  if (useCache && m_cached && id == m_cachedId) {
    *doc = m_cached;
    return ERROR_SUCCESS;
  }
  std::string text;
  if (fd.Get() >= 0) {
    char buf[65536];
    while (true) {
      const ssize_t n = read(fd.Get(), buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return ERROR_CANTREAD;
      if (n == 0) break;
      text.append(buf, static_cast<size_t>(n));
    }
  }
  std::vector<HiveProblem> problems;
  auto parsed = std::make_shared<const HiveDocument>(HiveDocument::Parse(text, &problems));
  Warn(problems);
  m_cached = parsed;
  m_cachedId = id;
  *doc = parsed;
  return ERROR_SUCCESS;
}

long HiveStore::Load(std::shared_ptr<const HiveDocument>* doc) { return ReadFile(doc, true); }

long HiveStore::Modify(const std::function<bool(HiveDocument&)>& change) {
  if (!CanWrite()) return ERROR_ACCESS_DENIED;
  std::error_code ec;
  std::filesystem::create_directories(Parent(m_path), ec);
  if (ec) return ERROR_ACCESS_DENIED;
  const std::string target = Resolved(m_path);
  HiveLock lock(target + ".lock");
  if (!lock.Held()) return ERROR_ACCESS_DENIED;

  // Always read afresh under the lock: another instance may have written a
  // moment ago, within the resolution of the file times.
  std::shared_ptr<const HiveDocument> current;
  const long rc = ReadFile(&current, false);
  if (rc != ERROR_SUCCESS) return rc;  // never overwrite a hive we could not read
  HiveDocument doc = *current;
  if (!change(doc)) return ERROR_SUCCESS;
  return WriteFile(target, doc.Serialize());
}

long HiveStore::WriteFile(const std::string& target, const std::string& text) {
  struct stat st;
  const mode_t mode = stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : kNewHiveMode;
  std::string temp = target + ".tmp-XXXXXX";
  FileDescriptor fd(mkostemp(temp.data(), O_CLOEXEC));
  if (fd.Get() < 0) return ERROR_CANTWRITE;
  const bool written = WriteAll(fd.Get(), text) && fchmod(fd.Get(), mode) == 0 &&
                       fsync(fd.Get()) == 0 && close(fd.Release()) == 0;
  if (!written || rename(temp.c_str(), target.c_str()) != 0) {
    unlink(temp.c_str());
    return ERROR_CANTWRITE;
  }
  m_cached.reset();  // the next read parses what is now on disk
  return ERROR_SUCCESS;
}

void HiveStore::Warn(const std::vector<HiveProblem>& problems) {
  for (const HiveProblem& p : problems) {
    if (!m_warned.insert({p.line, p.text}).second) continue;
    std::fprintf(stderr, "toggra: %s:%d: line not understood, skipped: %s\n", m_path.c_str(),
                 p.line, p.text.c_str());
  }
}

}  // namespace toggra
