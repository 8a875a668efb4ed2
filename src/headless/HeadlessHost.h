// The platform of `toggra --headless`: the main dialog without window and
// tray, on a Qt Core event loop with the 100 ms tick, for a small computer
// next to the devices. Nothing here needs a display.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "app/ColumnObserver.h"
#include "app/DialogHost.h"

class QEventLoop;

namespace toggra {
class CToggraDlg;
}

namespace toggra::headless {

// The dialog's window, reduced to what has an effect without one: the modal
// loop, the tick, posted messages and the end. (The core's CNullHost has no
// loop; the null tray shell and the non-interactive prompts come from the
// composition root.)
class CHeadlessHost : public QObject, public IDialogHost {
 public:
  static constexpr int kTickMs = 100;

  CHeadlessHost();
  ~CHeadlessHost() override;

  // OnInitDialog, then the tick and the event loop until the dialog ends.
  int RunModal(CToggraDlg& dlg);

  void ControlChanged(const CControl& control) override { (void)control; }
  void InvalidateControl(int id) override { (void)id; }
  void InvalidateAll() override {}
  void SetTitle(const std::string& title) override { m_title = title; }
  void SetIcon(IconId icon) override { (void)icon; }
  void AddSystemMenuItem(int id, const std::string& text, bool separatorBefore) override;
  void EndDialog(int result) override;
  void PostMessage(int msg, uintptr_t wParam, intptr_t lParam) override;
  void SetFocus(int id) override { (void)id; }
  Rect MapDialogRect(const DlgRect& r) override;
  Point ClientOrigin() override { return {}; }
  Size OuterSize() override { return m_outer; }
  void SetOuterSize(int cx, int cy) override { m_outer = {cx, cy}; }
  int ClientWidth() override { return m_outer.cx; }

  const std::string& Title() const { return m_title; }

 private:
  CToggraDlg* m_dlg = nullptr;
  QTimer m_tick;
  QEventLoop* m_loop = nullptr;
  bool m_ending = false;
  int m_result = 0;
  std::string m_title;
  Size m_outer{};
};

}  // namespace toggra::headless
