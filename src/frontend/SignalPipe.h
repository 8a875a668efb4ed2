// SIGTERM, SIGINT and SIGHUP delivered on the event thread: the handler only
// writes the signal's number into a pipe, and a socket notifier reads it on
// the thread that made the object. Shared by the desktop program and
// `toggra --headless`, which end on these signals as with "Beenden".
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <array>
#include <csignal>
#include <functional>
#include <memory>

namespace toggra::frontend {

class CSignalPipe : public QObject {
 public:
  static constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

  // `received` gets every signal, one call each. One object at a time: the
  // handlers share one pipe.
  explicit CSignalPipe(std::function<void(int signal)> received);
  // Puts back the handlers that were in place before.
  ~CSignalPipe() override;
  CSignalPipe(const CSignalPipe&) = delete;
  CSignalPipe& operator=(const CSignalPipe&) = delete;

  // False when the pipe or a handler could not be set up; the signals then
  // keep their previous (usually fatal) effect.
  bool Installed() const { return m_installed; }

 private:
  void OnReadable();

  std::function<void(int)> m_received;
  int m_pipe[2] = {-1, -1};
  std::array<struct sigaction, kSignals.size()> m_previous{};
  std::array<bool, kSignals.size()> m_replaced{};
  bool m_installed = false;
  std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace toggra::frontend
