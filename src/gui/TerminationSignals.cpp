#include "gui/TerminationSignals.h"

#include <QApplication>
#include <QWidget>

namespace toggra::gui {

namespace {

// How often a window that blocks the end is looked for once a signal came.
constexpr int kCloseIntervalMs = 20;

}  // namespace

CTerminationSignals::CTerminationSignals(std::function<void(int)> end)
    : m_end(std::move(end)), m_pipe([this](int signal) {
        if (m_end) m_end(signal);
        // A dialog or menu open at this moment runs a loop of its own: the
        // end takes effect only once it closes, and nobody may be there to
        // close it. One that opens later (the signal came in the middle of the
        // start-up) would block the end the same way.
        CloseModalWindows();
        m_closer.start();
      }) {
  m_closer.setInterval(kCloseIntervalMs);
  connect(&m_closer, &QTimer::timeout, this, &CTerminationSignals::CloseModalWindows);
}

void CTerminationSignals::CloseModalWindows() {
  if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
}

}  // namespace toggra::gui
