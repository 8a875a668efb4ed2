#include "gui/TerminationSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QWidget>
#include <cerrno>

namespace toggra::gui {

namespace {

// How often a window that blocks the end is looked for once a signal came.
constexpr int kCloseIntervalMs = 20;

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

CTerminationSignals::CTerminationSignals(std::function<void(int)> end) : m_end(std::move(end)) {
  if (g_signalPipe >= 0 || ::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  g_signalPipe = m_pipe[1];
  m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
  connect(m_notifier.get(), &QSocketNotifier::activated, this, &CTerminationSignals::OnReadable);
  m_closer.setInterval(kCloseIntervalMs);
  connect(&m_closer, &QTimer::timeout, this, &CTerminationSignals::CloseModalWindows);

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

CTerminationSignals::~CTerminationSignals() {
  for (size_t k = 0; k < kSignals.size(); ++k)
    if (m_replaced[k]) ::sigaction(kSignals[k], &m_previous[k], nullptr);
  m_notifier.reset();
  if (m_pipe[0] < 0) return;
  g_signalPipe = -1;
  ::close(m_pipe[0]);
  ::close(m_pipe[1]);
}

void CTerminationSignals::OnReadable() {
  unsigned char bytes[16];
  ssize_t n;
  while ((n = ::read(m_pipe[0], bytes, sizeof bytes)) > 0) {
    for (ssize_t k = 0; k < n; ++k) {
      if (m_end) m_end(bytes[k]);
    }
    // A dialog or menu open at this moment runs a loop of its own: the end
    // takes effect only once it closes, and nobody may be there to close it.
    // One that opens later (the signal came in the middle of the start-up)
    // would block the end the same way.
    CloseModalWindows();
    m_closer.start();
  }
}

void CTerminationSignals::CloseModalWindows() {
  if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
}

}  // namespace toggra::gui
