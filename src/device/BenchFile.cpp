#include "device/BenchFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>

namespace toggra {

namespace {

// A bench file describes at most a few dozen devices; anything far larger is
// not one, and is not read into memory.
constexpr off_t kMaxBenchSize = 1 << 20;
constexpr long kNanosPerSecond = 1'000'000'000;

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

std::string ErrnoText(int error) { return std::generic_category().message(error); }

// LockExisting's error for a path that is there but is no regular file.
constexpr int kNotRegular = -1;

// How a file that cannot be used is told, by a read and by a change alike:
// a file that stays broken is then reported once, not by the tick's reads
// and changes in turn.
std::string Unusable(const std::string& path, int error) {
  if (error == kNotRegular) return path + ": the bench file is not a regular file";
  return path + ": cannot read the bench file: " + ErrnoText(error);
}

bool ReadAll(int fd, std::string& out) {
  out.clear();
  char buf[8192];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, buf, sizeof buf, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out.append(buf, static_cast<size_t>(n));
    at += n;
    if (at > kMaxBenchSize) {
      errno = EFBIG;
      return false;
    }
  }
}

bool WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// A symbolic link stays a link: the file it points to is replaced.
std::string ReplacementTarget(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      std::string out = real;
      std::free(real);
      return out;
    }
  }
  return path;
}

}  // namespace

bool BenchFile::Stamp::operator==(const Stamp& o) const {
  return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
         mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
         ctime.tv_nsec == o.ctime.tv_nsec;
}

BenchFile::Stamp BenchFile::StampOf(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

BenchFile::BenchFile(std::string path, ErrorSink errors, std::chrono::nanoseconds settle)
    : m_path(std::move(path)),
      m_errors(std::move(errors)),
      m_settle{static_cast<time_t>(settle.count() / kNanosPerSecond),
               static_cast<long>(settle.count() % kNanosPerSecond)} {}

const BenchSet* BenchFile::Current() {
  if (m_cached && m_settled) {
    struct stat st;
    if (::stat(m_path.c_str(), &st) == 0 && StampOf(st) == m_stamp)
      return m_parse.ok ? &m_parse.set : nullptr;
  }
  return Reload();
}

const BenchSet* BenchFile::Reload() {
  const timespec readStart = Now();
  // Non-blocking, so that a FIFO put in the file's place cannot hang the caller.
  UniqueFd fd(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.Valid()) return Fail(Unusable(m_path, errno));
  struct stat st;
  if (::fstat(fd.Get(), &st) != 0) return Fail(Unusable(m_path, errno));
  if (!S_ISREG(st.st_mode)) return Fail(Unusable(m_path, kNotRegular));
  std::string text;
  if (!ReadAll(fd.Get(), text)) return Fail(Unusable(m_path, errno));
  // Until its stamp is trusted the file is read on every call; it needs
  // parsing again only when its text changed.
  BenchParse parse = m_cached && text == m_text ? std::move(m_parse) : ParseBench(text, m_path);
  return Adopt(std::move(fd), st, readStart, std::move(text), std::move(parse));
}

const BenchSet* BenchFile::Adopt(UniqueFd fd, const struct stat& st, const timespec& readStart,
                                 std::string text, BenchParse parse) {
  m_held = std::move(fd);
  m_text = std::move(text);
  m_stamp = StampOf(st);
  m_cached = true;
  // Only the ctime: the mtime can be set to anything, even on a change.
  m_settled = Before(st.st_ctim, Minus(readStart, m_settle));
  m_parse = std::move(parse);
  if (!m_parse.ok) {
    if (m_parse.error != m_reported && m_errors) m_errors(m_parse.error);
    m_reported = m_parse.error;
    return nullptr;
  }
  m_reported.clear();
  return &m_parse.set;
}

const BenchSet* BenchFile::Fail(const std::string& problem) {
  m_cached = false;
  m_parse = {};
  m_text.clear();
  m_held.Reset();
  if (problem != m_reported && m_errors) m_errors(problem);
  m_reported = problem;
  return nullptr;
}

bool BenchFile::LockExisting(UniqueFd& locked, int& error) {
  for (;;) {
    UniqueFd fd(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat held, now;
    if (!fd.Valid() || ::fstat(fd.Get(), &held) != 0) {
      error = errno;
      return false;
    }
    if (!S_ISREG(held.st_mode)) {
      error = kNotRegular;
      return false;
    }
    while (::flock(fd.Get(), LOCK_EX) != 0) {
      if (errno != EINTR) {
        error = errno;
        return false;
      }
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

bool BenchFile::WriteReplacement(const std::string& text, mode_t mode, UniqueFd& written) {
  const std::string target = ReplacementTarget(m_path);
  const size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  // In the same folder, so that the rename stays on one filesystem and is atomic.
  std::string temp = dir + (slash == std::string::npos ? "/." : ".") + base + ".XXXXXX";
  UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (!fd.Valid()) {
    Fail(m_path + ": cannot write next to the bench file: " + ErrnoText(errno));
    return false;
  }
  if (!WriteAll(fd.Get(), text) || ::fchmod(fd.Get(), mode) != 0 ||
      ::rename(temp.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    Fail(m_path + ": cannot replace the bench file: " + ErrnoText(error));
    return false;
  }
  written = std::move(fd);
  return true;
}

bool BenchFile::Modify(const std::function<bool(BenchSet&)>& change) {
  UniqueFd locked;
  int error = 0;
  if (!LockExisting(locked, error)) {
    Fail(Unusable(m_path, error));
    return false;
  }
  const timespec readStart = Now();
  std::string text;
  if (!ReadAll(locked.Get(), text)) {
    Fail(Unusable(m_path, errno));
    return false;
  }
  BenchParse parse = ParseBench(text, m_path);
  if (!parse.ok) {
    Fail(parse.error);
    return false;
  }
  if (!change(parse.set)) return false;
  UniqueFd written;
  struct stat st;
  std::string rendered = parse.set.Render();
  if (::fstat(locked.Get(), &st) != 0 || !WriteReplacement(rendered, st.st_mode & 07777, written))
    return false;
  // What was just written is known; the stamp is taken after the rename,
  // which changes the inode's ctime on some filesystems.
  if (::fstat(written.Get(), &st) == 0)
    Adopt(std::move(written), st, readStart, std::move(rendered), std::move(parse));
  // `locked` closes only now, after the rename: the next writer finds the new
  // file in place.
  return true;
}

bool BenchFile::Replace(const std::string& text) {
  UniqueFd locked;
  int error = 0;
  mode_t mode = 0;
  struct stat st;
  if (LockExisting(locked, error) && ::fstat(locked.Get(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else if (error == ENOENT) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  } else if (error == kNotRegular) {
    Fail(Unusable(m_path, error));
    return false;
  } else {
    Fail(m_path + ": cannot replace the bench file: " + ErrnoText(error ? error : errno));
    return false;
  }
  UniqueFd written;
  if (!WriteReplacement(text, mode, written)) return false;
  m_cached = false;
  m_held.Reset();
  return true;
}

}  // namespace toggra
