// SIGTERM, SIGINT and SIGHUP end the program the way "Beenden" does, so that
// the main dialog's teardown runs (one ResetDevice per column, tray icons
// removed) instead of the process vanishing with its devices left as they
// were. The signal reaches the GUI thread through the front-end's signal
// pipe; this adds what only a window system needs: closing the dialog or menu
// whose own loop would hold the end up.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "frontend/SignalPipe.h"

namespace toggra::gui {

class CTerminationSignals : public QObject {
 public:
  static constexpr auto kSignals = frontend::CSignalPipe::kSignals;

  // `end` receives the signal on the GUI thread; it is called again for every
  // further signal. One object at a time: the handlers share one pipe.
  explicit CTerminationSignals(std::function<void(int signal)> end);
  CTerminationSignals(const CTerminationSignals&) = delete;
  CTerminationSignals& operator=(const CTerminationSignals&) = delete;

  // False when the pipe or a handler could not be set up.
  bool Installed() const { return m_pipe.Installed(); }

 private:
  void CloseModalWindows();

  std::function<void(int)> m_end;
  QTimer m_closer;
  frontend::CSignalPipe m_pipe;  // last: its handler uses the members above
};

}  // namespace toggra::gui
