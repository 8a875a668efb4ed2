#include "frontend/SignalPipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace toggra::frontend {

namespace {

// The write end of the pipe, for the handler; -1 while no object exists.
volatile sig_atomic_t g_signalPipe = -1;

void OnSignal(int signal) {
  const int savedErrno = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  // Async-signal-safe; a full pipe already holds a request to end.
  [[maybe_unused]] const ssize_t n = ::write(g_signalPipe, &byte, 1);
  errno = savedErrno;
}

}  // namespace

CSignalPipe::CSignalPipe(std::function<void(int)> received) : m_received(std::move(received)) {
  if (g_signalPipe >= 0 || ::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  g_signalPipe = m_pipe[1];
  m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
  connect(m_notifier.get(), &QSocketNotifier::activated, this, &CSignalPipe::OnReadable);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  m_installed = true;
  for (size_t k = 0; k < kSignals.size(); ++k) {
    m_replaced[k] = ::sigaction(kSignals[k], &action, &m_previous[k]) == 0;
    m_installed = m_installed && m_replaced[k];
  }
}

CSignalPipe::~CSignalPipe() {
  for (size_t k = 0; k < kSignals.size(); ++k)
    if (m_replaced[k]) ::sigaction(kSignals[k], &m_previous[k], nullptr);
  m_notifier.reset();
  if (m_pipe[0] < 0) return;
  g_signalPipe = -1;
  ::close(m_pipe[0]);
  ::close(m_pipe[1]);
}

void CSignalPipe::OnReadable() {
  unsigned char bytes[16];
  ssize_t n;
  while ((n = ::read(m_pipe[0], bytes, sizeof bytes)) > 0)
    for (ssize_t k = 0; k < n; ++k)
      if (m_received) m_received(bytes[k]);
}

}  // namespace toggra::frontend
