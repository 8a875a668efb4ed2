// Scripted answers for the modal dialogs; every dialog shown is recorded.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/ErrorDialogs.h"
#include "app/Ids.h"
#include "app/Prompts.h"
#include "trafficlight/TimerDlg.h"
#include "ui/AboutDlg.h"

namespace toggra::test {

class FakePrompts : public IPrompts {
 public:
  struct Box {
    std::string text;
    std::string caption;
    bool owned;
  };

  // Answers, consumed in order; when empty the default applies.
  std::deque<int> startErrorAnswers;        // default IDOK
  std::deque<int> startErrorDontShow;       // check box state to leave, default 0
  std::deque<int> deviceErrorAnswers;       // default IDCANCEL
  // Called with the dialog object; may change it and returns the result.
  std::function<int(CToggraTimerDlg&)> onTimerDlg = [](CToggraTimerDlg&) { return IDCANCEL; };
  std::function<int(CAboutDlg&)> onAboutDlg = [](CAboutDlg&) { return IDCANCEL; };
  // Runs inside every modal dialog or box, as the 100 ms tick does.
  std::function<void()> whileModal;

  std::vector<std::string> shown;  // "StartError", "DeviceError", "Timer", "About", "Log", "Box"
  std::vector<Box> boxes;
  std::vector<std::string> logTexts;
  std::vector<CToggraTimerDlg> timerDialogs;  // as handed in, before the answer
  std::vector<CAboutDlg> aboutDialogs;

  int RunStartError(CStartError& dlg) override {
    shown.push_back("StartError");
    Modal();
    if (!startErrorDontShow.empty()) {
      dlg.m_dontShowAgain = startErrorDontShow.front();
      startErrorDontShow.pop_front();
    }
    return Take(startErrorAnswers, IDOK);
  }
  int RunDeviceError(CDeviceError&) override {
    shown.push_back("DeviceError");
    Modal();
    return Take(deviceErrorAnswers, IDCANCEL);
  }
  int RunTimerDlg(CToggraTimerDlg& dlg) override {
    shown.push_back("Timer");
    timerDialogs.push_back(dlg);
    Modal();
    return onTimerDlg(dlg);
  }
  int RunAboutDlg(CAboutDlg& dlg) override {
    shown.push_back("About");
    aboutDialogs.push_back(dlg);
    Modal();
    return onAboutDlg(dlg);
  }
  int RunLogDlg(CLogDlg& dlg) override {
    shown.push_back("Log");
    logTexts.push_back(dlg.m_text);
    Modal();
    return IDOK;
  }
  int MessageBox(const std::string& text, const std::string& caption, bool owned) override {
    shown.push_back("Box");
    boxes.push_back({text, caption, owned});
    Modal();
    return IDOK;
  }

 private:
  void Modal() {
    if (whileModal) whileModal();
  }
  static int Take(std::deque<int>& q, int fallback) {
    if (q.empty()) return fallback;
    int v = q.front();
    q.pop_front();
    return v;
  }
};

}  // namespace toggra::test
