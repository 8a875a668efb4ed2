#include "device/serial/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "device/serial/SerialEntry.h"

namespace toggra::serial {

namespace {

using Clock = std::chrono::steady_clock;

speed_t SpeedOf(unsigned baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
  }
}

std::string ErrnoText(const std::string& what) {
  return what + " (" + std::generic_category().message(errno) + ")";
}

int MsLeft(Clock::time_point until) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

CSerialPort::~CSerialPort() { Close(); }

void CSerialPort::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

bool CSerialPort::Open(const std::string& path, unsigned baud, std::string* error) {
  Close();
  const speed_t speed = SpeedOf(baud);
  if (speed == B0) {
    *error = std::to_string(baud) + " baud is not a serial speed";
    return false;
  }
  // Non-blocking, so that neither the open (modem lines) nor a read can hang.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = OpenFailureText(path, errno);
    return false;
  }
  termios tio {};
  if (::tcgetattr(fd, &tio) != 0) {
    *error = ErrnoText(path + ": not a serial port");
    ::close(fd);
    return false;
  }
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    *error = ErrnoText(path + ": the port refuses " + std::to_string(baud) + " 8N1");
    ::close(fd);
    return false;
  }
  ::tcflush(fd, TCIOFLUSH);
  m_fd = fd;
  m_path = path;
  return true;
}

bool CSerialPort::Write(const std::vector<uint8_t>& bytes, std::chrono::milliseconds limit,
                        std::string* error) {
  const Clock::time_point until = Clock::now() + limit;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      *error = ErrnoText(m_path + ": the write failed");
      return false;
    }
    pollfd p{m_fd, POLLOUT, 0};
    if (::poll(&p, 1, MsLeft(until)) <= 0 || (p.revents & (POLLERR | POLLHUP))) {
      *error = m_path + ": the port takes no bytes";
      return false;
    }
  }
  if (::tcdrain(m_fd) != 0) {
    *error = ErrnoText(m_path + ": the bytes were not sent");
    return false;
  }
  return true;
}

void CSerialPort::DropInput() {
  if (m_fd >= 0) ::tcflush(m_fd, TCIFLUSH);
}

bool CSerialPort::ReadAnswer(std::chrono::milliseconds first, std::chrono::milliseconds quiet,
                             size_t max, std::vector<uint8_t>* bytes, std::string* error) {
  bytes->clear();
  Clock::time_point until = Clock::now() + first;
  while (bytes->size() < max) {
    pollfd p{m_fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, MsLeft(until));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return true;  // quiet: the answer is complete
    if (p.revents & (POLLERR | POLLNVAL)) {
      *error = m_path + ": the port failed";
      return false;
    }
    uint8_t buffer[64];
    const ssize_t n = ::read(m_fd, buffer, std::min(sizeof buffer, max - bytes->size()));
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    // A hung-up tty reads end-of-file (0) or EIO.
    if (n <= 0) {
      *error = m_path + ": the device is gone";
      return false;
    }
    bytes->insert(bytes->end(), buffer, buffer + n);
    until = Clock::now() + quiet;
  }
  return true;
}

bool CSerialPort::HungUp() const {
  if (m_fd < 0) return true;
  pollfd p{m_fd, 0, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

}  // namespace toggra::serial
