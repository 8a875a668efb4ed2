#include "files/SharedTextFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>

#include "files/WholeFile.h"

namespace toggra {

namespace {

constexpr long kNanosPerSecond = 1'000'000'000;
constexpr mode_t kDefaultNewMode = 0666;
constexpr mode_t kPermissionBits = 07777;

timespec Now() {
  timespec t{};
  clock_gettime(CLOCK_REALTIME, &t);
  return t;
}

bool Before(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

timespec Minus(timespec t, const timespec& d) {
  t.tv_sec -= d.tv_sec;
  t.tv_nsec -= d.tv_nsec;
  if (t.tv_nsec < 0) {
    t.tv_nsec += kNanosPerSecond;
    --t.tv_sec;
  }
  return t;
}

bool Missing(int error) { return error == ENOENT || error == ENOTDIR; }

// The errno value a folder or a FIFO in the file's place stands for.
int NotRegularError(const struct stat& st) { return S_ISDIR(st.st_mode) ? EISDIR : EINVAL; }

// The file the name leads to: a file kept as a symbolic link (for example
// into a folder of dotfiles) stays one when it is replaced.
std::string Resolved(const std::string& path) {
  char buf[PATH_MAX];
  return ::realpath(path.c_str(), buf) ? std::string(buf) : path;
}

}  // namespace

std::string ErrnoText(int error) { return std::generic_category().message(error); }

bool CSharedTextFile::Stamp::operator==(const Stamp& o) const {
  return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size &&
         mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
         ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
}

CSharedTextFile::Stamp CSharedTextFile::StampOf(const struct stat& st) {
  return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

CSharedTextFile::CSharedTextFile(std::string path, Options options, ErrorSink errors)
    : m_path(std::move(path)),
      m_options(std::move(options)),
      m_errors(std::move(errors)),
      m_settle{static_cast<time_t>(m_options.settle.count() / kNanosPerSecond),
               static_cast<long>(m_options.settle.count() % kNanosPerSecond)} {}

void CSharedTextFile::Report(const FileProblem& problem) {
  if (problem == m_problem) return;
  m_problem = problem;
  if (m_errors) m_errors(problem);
}

FileProblem CSharedTextFile::Describe(int error, FileStep step) const {
  const char* doing = "cannot read";
  switch (step) {
    case FileStep::NotRegular:
      return {error, step, m_path + ": the " + m_options.noun + " is not a regular file"};
    case FileStep::Read:
      break;
    case FileStep::Lock:
      doing = "cannot lock";
      break;
    case FileStep::Write:
      doing = "cannot write";
      break;
    case FileStep::WriteNext:
      doing = "cannot write next to";
      break;
    case FileStep::Replace:
      doing = "cannot replace";
      break;
  }
  return {error, step, m_path + ": " + doing + " the " + m_options.noun + ": " + ErrnoText(error)};
}

const std::string* CSharedTextFile::Fail(int error, FileStep step) {
  m_cached = false;
  m_text.clear();
  m_held.Reset();
  Report(Describe(error, step));
  return nullptr;
}

const std::string* CSharedTextFile::Current() {
  if (!m_cached) return Reload();
  const timespec readStart = Now();
  struct stat st;
  if (::stat(m_path.c_str(), &st) != 0)
    return m_settled && !m_stamp.exists && Missing(errno) ? &m_text : Reload();
  const Stamp now = StampOf(st);
  if (now != m_stamp) return Reload();
  if (m_settled) return &m_text;
  // The same stamp, not trusted yet: the name still leads to the inode held
  // open, so its text is read again through the held descriptor, as a fresh
  // open would read it, without opening and closing the file on every call
  // (a file written a moment ago is read on every call until it settles).
  std::string text;
  if (m_held.Valid() && ReadAll(m_held.Get(), &text, m_options.maxSize) == 0)
    return Adopt(std::move(m_held), now, readStart, std::move(text));
  return Reload();
}

const std::string* CSharedTextFile::Reload() {
  const timespec readStart = Now();
  // Non-blocking, so that a FIFO put in the file's place cannot hang the caller.
  UniqueFd fd(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.Valid()) {
    if (m_options.missingIsEmpty && Missing(errno)) return Adopt(UniqueFd(), {}, readStart, "");
    return Fail(errno, FileStep::Read);
  }
  struct stat st;
  if (::fstat(fd.Get(), &st) != 0) return Fail(errno, FileStep::Read);
  if (!S_ISREG(st.st_mode)) return Fail(NotRegularError(st), FileStep::NotRegular);
  std::string text;
  if (const int error = ReadAll(fd.Get(), &text, m_options.maxSize))
    return Fail(error, FileStep::Read);
  return Adopt(std::move(fd), StampOf(st), readStart, std::move(text));
}

const std::string* CSharedTextFile::Adopt(UniqueFd fd, const Stamp& stamp,
                                          const timespec& readStart, std::string text) {
  if (!m_cached || text != m_text) ++m_generation;
  m_held = std::move(fd);
  m_text = std::move(text);
  m_stamp = stamp;
  m_cached = true;
  // Only the ctime: the mtime can be set to anything, even on a change. A
  // missing file has no stamp to distrust.
  m_settled = !stamp.exists || Before(stamp.ctime, Minus(readStart, m_settle));
  return &m_text;
}

bool CSharedTextFile::LockExisting(UniqueFd& locked, bool& notRegular) {
  notRegular = false;
  for (;;) {
    UniqueFd fd(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat held, now;
    if (!fd.Valid() || ::fstat(fd.Get(), &held) != 0) return false;
    if (!S_ISREG(held.st_mode)) {
      notRegular = true;
      errno = NotRegularError(held);
      return false;
    }
    while (::flock(fd.Get(), LOCK_EX) != 0) {
      if (errno != EINTR) return false;
    }
    if (::stat(m_path.c_str(), &now) == 0 && now.st_dev == held.st_dev &&
        now.st_ino == held.st_ino) {
      locked = std::move(fd);
      return true;
    }
    // Another writer replaced the file while this one waited for the lock;
    // the lock on the old file guards nothing now, so take the new one's.
  }
}

bool CSharedTextFile::Lock(UniqueFd& lock) {
  if (m_options.lock == LockPlace::TheFile) {
    bool notRegular = false;
    if (LockExisting(lock, notRegular)) return true;
    Fail(errno, notRegular ? FileStep::NotRegular : FileStep::Read);
    return false;
  }
  const std::string path = Resolved(m_path) + ".lock";
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, ModeForNew()));
  // Someone else's lock file: a read-only descriptor locks just as well.
  if (!fd.Valid() && errno == EACCES) fd.Reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) {
    Fail(errno, FileStep::Lock);
    return false;
  }
  while (::flock(fd.Get(), LOCK_EX) != 0) {
    if (errno != EINTR) {
      Fail(errno, FileStep::Lock);
      return false;
    }
  }
  lock = std::move(fd);
  return true;
}

bool CSharedTextFile::ReadLocked(const UniqueFd& locked, std::string& text, Stamp& stamp,
                                 mode_t& mode) {
  UniqueFd opened;
  int fd = locked.Get();
  if (m_options.lock == LockPlace::LockFile) {
    opened.Reset(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!opened.Valid()) {
      if (!m_options.missingIsEmpty || !Missing(errno)) return Fail(errno, FileStep::Read), false;
      text.clear();
      stamp = {};
      mode = ModeForNew();
      return true;
    }
    fd = opened.Get();
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) return Fail(errno, FileStep::Read), false;
  if (!S_ISREG(st.st_mode)) return Fail(NotRegularError(st), FileStep::NotRegular), false;
  if (const int error = ReadAll(fd, &text, m_options.maxSize))
    return Fail(error, FileStep::Read), false;
  stamp = StampOf(st);
  mode = st.st_mode & kPermissionBits;
  return true;
}

mode_t CSharedTextFile::ModeForNew() const {
  if (m_options.newMode) return m_options.newMode;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return kDefaultNewMode & ~mask;
}

bool CSharedTextFile::WriteReplacement(const std::string& text, mode_t mode, UniqueFd& written) {
  const std::string target = Resolved(m_path);
  const size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  // In the same folder, so that the rename stays on one filesystem and is atomic.
  std::string temp = dir + "." + base + ".XXXXXX";
  UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (!fd.Valid()) {
    Fail(errno, FileStep::WriteNext);
    return false;
  }
  // fsync before the rename: after a crash the name holds the old text or the
  // new one, never an empty file.
  if (WriteAll(fd.Get(), text) != 0 || ::fchmod(fd.Get(), mode) != 0 || ::fsync(fd.Get()) != 0 ||
      ::rename(temp.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    Fail(error, FileStep::Replace);
    return false;
  }
  written = std::move(fd);
  return true;
}

CSharedTextFile::Change CSharedTextFile::Modify(
    const std::function<std::optional<std::string>(const std::string&)>& change) {
  UniqueFd lock;
  if (!Lock(lock)) return Change::Failed;
  const timespec readStart = Now();
  std::string text;
  Stamp stamp;
  mode_t mode = 0;
  if (!ReadLocked(lock, text, stamp, mode)) return Change::Failed;
  std::optional<std::string> next = change(text);
  if (!next) return Change::Unchanged;
  UniqueFd written;
  if (!WriteReplacement(*next, mode, written)) return Change::Failed;
  // What was just written is known; the stamp is taken after the rename,
  // which changes the inode's ctime on some filesystems.
  struct stat st;
  if (::fstat(written.Get(), &st) == 0)
    Adopt(std::move(written), StampOf(st), readStart, std::move(*next));
  else
    m_cached = false;
  // `lock` closes only now, after the rename: the next writer finds the new
  // file in place.
  return Change::Written;
}

bool CSharedTextFile::Replace(const std::string& text) {
  UniqueFd lock;
  mode_t mode = 0;
  struct stat st;
  bool notRegular = false;
  if (m_options.lock == LockPlace::LockFile) {
    if (!Lock(lock)) return false;
    mode = ::stat(m_path.c_str(), &st) == 0 ? st.st_mode & kPermissionBits : ModeForNew();
  } else if (LockExisting(lock, notRegular) && ::fstat(lock.Get(), &st) == 0) {
    mode = st.st_mode & kPermissionBits;
  } else if (!notRegular && errno == ENOENT) {
    mode = ModeForNew();
  } else {
    Fail(errno, notRegular ? FileStep::NotRegular : FileStep::Replace);
    return false;
  }
  UniqueFd written;
  if (!WriteReplacement(text, mode, written)) return false;
  m_cached = false;
  m_held.Reset();
  return true;
}

}  // namespace toggra
