// Protocol and state files on POSIX. The Windows share modes the files are
// used with become advisory locks taken without waiting: the state writer
// holds an exclusive lock, readers a shared one, so no reader ever sees a
// half-written state and no writer truncates a file someone is reading.
#include "trafficlight/PosixFileService.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/UniqueFd.h"
#include "files/WholeFile.h"

namespace toggra {

namespace {

constexpr mode_t kNewFileMode = 0666;

// Only plain files: a folder would open for reading, and a FIFO would block
// the GUI thread. Returns 0 or the errno value of the failed open.
int CheckRegularFile(const UniqueFd& fd) {
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  return 0;
}

// Opens for writing, creating the file when it does not exist. The creation
// uses O_EXCL, which does not follow symbolic links: a link whose target is
// missing fails instead of creating a file somewhere else.
int OpenForWriting(const std::string& path, int extraFlags, UniqueFd* out) {
  const int flags = O_WRONLY | O_NONBLOCK | O_CLOEXEC | extraFlags;
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = ::open(path.c_str(), flags);
    if (fd < 0 && errno == ENOENT) {
      fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, kNewFileMode);
      // Created by someone else in between: open it as it is now.
      if (fd < 0 && errno == EEXIST && attempt == 0) continue;
      if (fd < 0 && errno == EEXIST) errno = ENOENT;
    }
    if (fd < 0) return errno;
    UniqueFd opened(fd);
    if (const int error = CheckRegularFile(opened)) return error;
    *out = std::move(opened);
    return 0;
  }
  return ENOENT;
}

}  // namespace

int CPosixFileService::AppendLine(const std::string& path, const std::string& line) {
  UniqueFd fd;
  if (const int error = OpenForWriting(path, O_APPEND, &fd)) return error;
  // One write on an appending file: lines of several instances never mix. A
  // regular file takes a whole line unless it fails, so only a failing write
  // is ever continued, and then the line is reported as not written.
  return WriteAll(fd.Get(), line);
}

int CPosixFileService::WriteState(const std::string& path, const std::string& text,
                                  bool* written) {
  *written = false;
  UniqueFd fd;
  if (const int error = OpenForWriting(path, 0, &fd)) return error;
  // Truncate only once the lock is held: a reader must never find the file
  // emptied by a writer that then gave up.
  if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return errno;
  if (::ftruncate(fd.Get(), 0) != 0) return errno;
  if (const int error = WriteAll(fd.Get(), text)) return error;
  *written = true;
  return 0;
}

int CPosixFileService::ReadState(const std::string& path, size_t maxBytes, std::string* data,
                                 bool* readOk) {
  *readOk = false;
  data->clear();
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.Valid()) return errno;
  if (const int error = CheckRegularFile(fd)) return error;
  if (::flock(fd.Get(), LOCK_SH | LOCK_NB) != 0) return errno;
  std::string buffer(maxBytes, '\0');
  size_t got = 0;
  while (got < maxBytes) {
    const ssize_t n = ::read(fd.Get(), buffer.data() + got, maxBytes - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  buffer.resize(got);
  *data = std::move(buffer);
  *readOk = true;
  return 0;
}

std::string CPosixFileService::ErrorText(int error) {
  return std::string(std::strerror(error)) + "\r\n";
}

}  // namespace toggra
