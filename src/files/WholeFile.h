// A whole file's text through a descriptor, read or written in one call,
// retried after a signal.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <limits>
#include <string>

namespace toggra {

// The text from the start of the file to its end, whatever the descriptor's
// position; 0 or the errno value of the read that failed (EFBIG, with errno
// set, for a file larger than maxSize).
inline int ReadAll(int fd, std::string* text, off_t maxSize = std::numeric_limits<off_t>::max()) {
  text->clear();
  char buffer[8192];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    text->append(buffer, static_cast<size_t>(n));
    at += n;
    if (at > maxSize) return errno = EFBIG;
  }
}

// Writes all of text; 0 or the errno value of the write that failed (also
// left in errno). A write that stops short without an error (a full disk, a
// size limit) counts as EIO.
inline int WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return errno = EIO;
    done += static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace toggra
