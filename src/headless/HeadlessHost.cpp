#include "headless/HeadlessHost.h"

#include <QEventLoop>

#include "app/ToggraDlg.h"

namespace toggra::headless {

namespace {

// Dialog units to pixels as with the usual 6 x 13 pixel base units; nothing
// is drawn, but the layout code computes sizes from them.
constexpr int kBaseX = 6, kBaseY = 13, kUnitsX = 4, kUnitsY = 8;

}  // namespace

CHeadlessHost::CHeadlessHost() {
  m_tick.setInterval(kTickMs);
  connect(&m_tick, &QTimer::timeout, this, [this] {
    if (m_dlg && !m_ending) m_dlg->TimerTick();
  });
}

CHeadlessHost::~CHeadlessHost() { m_tick.stop(); }

int CHeadlessHost::RunModal(CToggraDlg& dlg) {
  m_dlg = &dlg;
  m_ending = false;
  dlg.OnInitDialog();
  if (!m_ending && !dlg.Ended()) {
    QEventLoop loop;
    m_loop = &loop;
    m_tick.start();
    loop.exec();
    m_loop = nullptr;
  }
  m_tick.stop();
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

}  // namespace toggra::headless
