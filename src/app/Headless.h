// The services of a run without window and tray: a dialog host that only
// keeps geometry, a tray shell that shows nothing, and prompts answered by a
// fixed non-interactive policy.
#pragma once

#include <functional>
#include <string>

#include "app/DialogHost.h"
#include "app/Prompts.h"
#include "ui/TrayShell.h"

namespace toggra {

// No window: changes go nowhere, geometry is computed as for a window of
// 6 x 12 pixel dialog base units, posted messages are dropped (they only come
// from keys and tray icons, which a headless run does not have).
class CNullHost : public IDialogHost {
 public:
  void ControlChanged(const CControl&) override {}
  void InvalidateControl(int) override {}
  void InvalidateAll() override {}
  void SetTitle(const std::string&) override {}
  void SetIcon(IconId) override {}
  void AddSystemMenuItem(int, const std::string&, bool) override {}
  void EndDialog(int) override {}
  void PostMessage(int, uintptr_t, intptr_t) override {}
  void SetFocus(int) override {}
  Rect MapDialogRect(const DlgRect& r) override;
  Point ClientOrigin() override { return {0, 0}; }
  Size OuterSize() override { return m_outer; }
  void SetOuterSize(int cx, int cy) override { m_outer = {cx, cy}; }
  int ClientWidth() override { return m_outer.cx; }

 private:
  Size m_outer{0, 0};
};

// No notification area: every icon call succeeds and shows nothing, menus
// choose nothing.
class CNullTrayShell : public ITrayShell {
 public:
  bool NotifyIcon(int, const NotifyIconData&) override { return true; }
  int TrackPopupMenu(int, const std::vector<TrayMenuItem>&, int) override { return 0; }
  void SetForegroundWindow() override {}
  void HideToTray() override {}
  void ShowFromTray() override {}
};

// Nobody to ask. The policy, each answer written to the log sink:
// - the no-device dialog ("Fehler"): Abbrechen, the program ends (a headless
//   simulation is asked for with -S);
// - the device-error dialog ("Es wurde kein USB-Gerät gefunden."): Abbrechen,
//   the command is dropped and the program goes on;
// - the duration, options and log dialogs: Abbrechen, nothing changes;
// - message boxes: their text is logged, OK.
class CNonInteractivePrompts : public IPrompts {
 public:
  using LogSink = std::function<void(const std::string&)>;
  explicit CNonInteractivePrompts(LogSink log = {});

  int RunStartError(CStartError& dlg) override;
  int RunDeviceError(CDeviceError& dlg) override;
  int RunTimerDlg(CToggraTimerDlg& dlg) override;
  int RunAboutDlg(CAboutDlg& dlg) override;
  int RunLogDlg(CLogDlg& dlg) override;
  int MessageBox(const std::string& text, const std::string& caption,
                 bool ownedByMainWindow) override;

 private:
  LogSink m_log;
};

}  // namespace toggra
