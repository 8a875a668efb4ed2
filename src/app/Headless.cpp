#include "app/Headless.h"

#include "app/Ids.h"

namespace toggra {

namespace {
// Pixels per dialog unit of a window with 6 x 12 pixel base units.
constexpr int kBaseX = 6, kBaseY = 12;
constexpr int kUnitsX = 4, kUnitsY = 8;
}  // namespace

Rect CNullHost::MapDialogRect(const DlgRect& r) {
  const int left = r.x * kBaseX / kUnitsX, top = r.y * kBaseY / kUnitsY;
  return {left, top, left + r.cx * kBaseX / kUnitsX, top + r.cy * kBaseY / kUnitsY};
}

CNonInteractivePrompts::CNonInteractivePrompts(LogSink log) : m_log(std::move(log)) {}

int CNonInteractivePrompts::RunStartError(CStartError&) {
  if (m_log) m_log("no device found; without a display the simulation is not offered (use -S), ending");
  return IDCANCEL;
}

int CNonInteractivePrompts::RunDeviceError(CDeviceError&) {
  if (m_log) m_log("switch not reachable (\"Es wurde kein USB-Gerät gefunden.\"); command dropped");
  return IDCANCEL;
}

int CNonInteractivePrompts::RunTimerDlg(CToggraTimerDlg&) { return IDCANCEL; }
int CNonInteractivePrompts::RunAboutDlg(CAboutDlg&) { return IDCANCEL; }
int CNonInteractivePrompts::RunLogDlg(CLogDlg&) { return IDCANCEL; }

int CNonInteractivePrompts::MessageBox(const std::string& text, const std::string& caption, bool) {
  if (m_log) m_log(caption + ": " + text);
  return IDOK;
}

}  // namespace toggra
