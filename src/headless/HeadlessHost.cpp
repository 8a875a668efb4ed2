#include "headless/HeadlessHost.h"

#include <fcntl.h>
#include <unistd.h>

#include <QEventLoop>
#include <cerrno>

#include "app/ToggraDlg.h"

namespace toggra::headless {

namespace {

// Dialog units to pixels as with the usual 6 x 13 pixel base units; nothing
// is drawn, but the layout code computes sizes from them.
constexpr int kBaseX = 6, kBaseY = 13, kUnitsX = 4, kUnitsY = 8;

volatile sig_atomic_t g_signalPipe = -1;

void OnSignal(int signal) {
  const int savedErrno = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t n = ::write(g_signalPipe, &byte, 1);
  errno = savedErrno;
}

}  // namespace

void CQtEventQueue::Post(std::function<void()> work) {
  QMetaObject::invokeMethod(m_context, std::move(work), Qt::QueuedConnection);
}

CHeadlessHost::CHeadlessHost() {
  m_tick.setInterval(kTickMs);
  connect(&m_tick, &QTimer::timeout, this, [this] {
    if (m_dlg && !m_ending) m_dlg->TimerTick();
  });
}

CHeadlessHost::~CHeadlessHost() { m_tick.stop(); }

int CHeadlessHost::RunModal(CToggraDlg& dlg, const std::function<void()>& afterTick) {
  m_dlg = &dlg;
  m_ending = false;
  QMetaObject::Connection watch;
  if (afterTick) watch = connect(&m_tick, &QTimer::timeout, this, [this, afterTick] {
      if (m_dlg && !m_ending) afterTick();
    });
  dlg.OnInitDialog();
  if (!m_ending && !dlg.Ended()) {
    if (afterTick) afterTick();
    QEventLoop loop;
    m_loop = &loop;
    m_tick.start();
    loop.exec();
    m_loop = nullptr;
  }
  m_tick.stop();
  if (watch) disconnect(watch);
  m_dlg = nullptr;
  return m_ending ? m_result : dlg.Result();
}

void CHeadlessHost::AddSystemMenuItem(int id, const std::string& text, bool separatorBefore) {
  (void)id, (void)text, (void)separatorBefore;
}

void CHeadlessHost::EndDialog(int result) {
  if (m_ending) return;
  m_ending = true;
  m_result = result;
  m_tick.stop();
  if (m_loop) m_loop->exit(result);
}

void CHeadlessHost::PostMessage(int msg, uintptr_t wParam, intptr_t lParam) {
  QMetaObject::invokeMethod(
      this,
      [this, msg, wParam, lParam] {
        if (m_dlg && !m_ending) m_dlg->OnMessage(msg, wParam, lParam);
      },
      Qt::QueuedConnection);
}

Rect CHeadlessHost::MapDialogRect(const DlgRect& r) {
  const int l = r.x * kBaseX / kUnitsX, t = r.y * kBaseY / kUnitsY;
  return {l, t, l + r.cx * kBaseX / kUnitsX, t + r.cy * kBaseY / kUnitsY};
}

CHeadlessSignals::CHeadlessSignals(std::function<void(int)> end) : m_end(std::move(end)) {
  if (g_signalPipe >= 0 || ::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  g_signalPipe = m_pipe[1];
  m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
  connect(m_notifier.get(), &QSocketNotifier::activated, this, &CHeadlessSignals::OnReadable);
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

CHeadlessSignals::~CHeadlessSignals() {
  for (size_t k = 0; k < kSignals.size(); ++k)
    if (m_replaced[k]) ::sigaction(kSignals[k], &m_previous[k], nullptr);
  m_notifier.reset();
  if (m_pipe[0] < 0) return;
  g_signalPipe = -1;
  ::close(m_pipe[0]);
  ::close(m_pipe[1]);
}

void CHeadlessSignals::OnReadable() {
  unsigned char bytes[16];
  ssize_t n;
  while ((n = ::read(m_pipe[0], bytes, sizeof bytes)) > 0)
    for (ssize_t k = 0; k < n; ++k)
      if (m_end) m_end(bytes[k]);
}

}  // namespace toggra::headless
