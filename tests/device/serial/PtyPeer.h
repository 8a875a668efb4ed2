// The far end of a serial line for the tests: a pseudo-terminal whose master
// side this object holds and serves on a thread of its own, while the code
// under test opens the slave side through a link (as it would open
// /dev/serial/by-path/...). Close() pulls the device out (the slave hangs
// up, the link dangles); Reopen() plugs it in again behind the same link.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace toggra::test {

class PtyPeer {
 public:
  // Called on the peer's thread with the bytes received and not consumed
  // yet; it erases what it consumed and returns the bytes to answer.
  using Handler = std::function<std::vector<uint8_t>(std::vector<uint8_t>& pending)>;

  PtyPeer(std::string link, Handler handler) : m_link(std::move(link)), m_handler(std::move(handler)) {
    Reopen();
  }
  ~PtyPeer() { Close(); }
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  const std::string& Link() const { return m_link; }
  std::string SlavePath() const { return m_slavePath; }

  void Close() {
    if (m_master < 0) return;
    const char stop = 's';
    (void)!::write(m_wake[1], &stop, 1);
    m_thread.join();
    ::close(m_wake[0]);
    ::close(m_wake[1]);
    ::close(m_master);
    ::close(m_slave);
    m_master = m_slave = -1;
  }

  void Reopen() {
    Close();
    termios raw {};
    ::cfmakeraw(&raw);
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) return;
    m_slavePath = name;
    ::fcntl(m_master, F_SETFL, O_NONBLOCK);
    (void)!::pipe(m_wake);
    const std::string tmp = m_link + ".new";
    std::filesystem::remove(tmp);
    std::filesystem::create_symlink(m_slavePath, tmp);
    std::filesystem::rename(tmp, m_link);
    m_thread = std::thread([this] { Run(); });
  }

  // Every byte received since the start.
  std::vector<uint8_t> Received() {
    std::lock_guard lock(m_mutex);
    return m_received;
  }
  // Waits (at most 2 s) until `done` holds, checked under the handler's lock
  // after each batch of bytes the peer serves.
  template <typename F>
  bool WaitUntil(F done) {
    std::unique_lock lock(m_mutex);
    return m_served.wait_for(lock, std::chrono::seconds(2), done);
  }
  // Runs `f` under the lock the handler runs under.
  template <typename F>
  auto Locked(F f) {
    std::lock_guard lock(m_mutex);
    return f();
  }

 private:
  void Run() {
    std::vector<uint8_t> pending;
    for (;;) {
      pollfd p[2] = {{m_master, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
      if (::poll(p, 2, -1) < 0) continue;
      if (p[1].revents) return;
      uint8_t buffer[256];
      const ssize_t n = ::read(m_master, buffer, sizeof buffer);
      if (n <= 0) continue;
      std::vector<uint8_t> answer;
      {
        std::lock_guard lock(m_mutex);
        m_received.insert(m_received.end(), buffer, buffer + n);
        pending.insert(pending.end(), buffer, buffer + n);
        answer = m_handler(pending);
      }
      m_served.notify_all();
      if (!answer.empty()) (void)!::write(m_master, answer.data(), answer.size());
    }
  }

  std::string m_link;
  Handler m_handler;
  int m_master = -1, m_slave = -1;
  int m_wake[2] = {-1, -1};
  std::string m_slavePath;
  std::thread m_thread;
  std::mutex m_mutex;
  std::condition_variable m_served;
  std::vector<uint8_t> m_received;
};

}  // namespace toggra::test
