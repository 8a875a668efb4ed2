// SIGTERM, SIGINT and SIGHUP end the program the way "Beenden" does, so that
// the main dialog's teardown runs (one ResetDevice per column, tray icons
// removed) instead of the process vanishing with its devices left as they
// were. The handler only writes the signal's number into a pipe; the GUI
// thread reads it through a socket notifier and does the rest.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <array>
#include <csignal>
#include <functional>
#include <memory>

namespace toggra::gui {

class CTerminationSignals : public QObject {
 public:
  static constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

  // `end` receives the signal on the GUI thread; it is called again for every
  // further signal. One object at a time: the handlers share one pipe.
  explicit CTerminationSignals(std::function<void(int signal)> end);
  // Puts the handlers back that were in place before.
  ~CTerminationSignals() override;
  CTerminationSignals(const CTerminationSignals&) = delete;
  CTerminationSignals& operator=(const CTerminationSignals&) = delete;

  // False when the pipe or a handler could not be set up; the signals then
  // keep their previous (usually fatal) effect.
  bool Installed() const { return m_installed; }

 private:
  void OnReadable();
  void CloseModalWindows();

  std::function<void(int)> m_end;
  int m_pipe[2] = {-1, -1};
  std::array<struct sigaction, kSignals.size()> m_previous{};
  std::array<bool, kSignals.size()> m_replaced{};
  bool m_installed = false;
  std::unique_ptr<QSocketNotifier> m_notifier;
  QTimer m_closer;
};

}  // namespace toggra::gui
