// The main window: shows the controls the core keeps and hands every click,
// key and tick to the main dialog. It holds no program logic of its own.
#pragma once

#include <QMargins>
#include <QTimer>
#include <QWidget>
#include <map>
#include <vector>

#include "app/DialogHost.h"
#include "gui/DialogUnits.h"

class QEventLoop;
class QMenu;

namespace toggra {
class CToggraDlg;
}

namespace toggra::gui {

class CLampButton;

class CMainWindow : public QWidget, public IDialogHost {
  Q_OBJECT

 public:
  static constexpr int kTickMs = 100;

  // tickMs is the period of the dialog's tick; tests shorten it.
  explicit CMainWindow(int tickMs = kTickMs);
  ~CMainWindow() override;

  // The modal run of the main dialog: Start, then an event loop until the
  // dialog ends; returns the dialog's result.
  int RunModal(CToggraDlg& dlg);
  // Attaches the dialog, builds its controls, runs its initialisation, starts
  // the tick and shows the window (unless the start-up hid it to the tray).
  // False when the dialog ended during its start-up.
  bool Start(CToggraDlg& dlg);

  // ---- IDialogHost ----
  void ControlChanged(const CControl& control) override;
  void InvalidateControl(int id) override;
  void InvalidateAll() override;
  void SetTitle(const std::string& title) override;
  void SetIcon(IconId icon) override;
  void AddSystemMenuItem(int id, const std::string& text, bool separatorBefore) override;
  void EndDialog(int result) override;
  void PostMessage(int msg, uintptr_t wParam, intptr_t lParam) override;
  void SetFocus(int id) override;
  Rect MapDialogRect(const DlgRect& r) override;
  Point ClientOrigin() override;
  Size OuterSize() override;
  void SetOuterSize(int cx, int cy) override;
  int ClientWidth() override;

  // A message sent to the dialog at once (the tray icons' notifications);
  // dropped once the dialog has ended.
  void SendMessage(int msg, uintptr_t wParam, intptr_t lParam);

  // The widget of a control, null when there is none.
  QWidget* ControlWidget(int id) const;
  // The window's context menu, which stands in for the system menu.
  QMenu* SystemMenu() const { return m_systemMenu; }
  const DialogUnits& Units() const { return m_units; }
  bool Ending() const { return m_ending; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void Attach(CToggraDlg& dlg);
  void Detach();
  void CreateControlWidgets();
  QWidget* CreateControlWidget(const CControl& control);
  void ApplyControl(QWidget* widget, const CControl& control);
  void KeepFocusInside();
  // "Geräte und Verbindungen…" of the context menu.
  void OpenDevicesDialog();
  // The dialog units under which the shown columns fit the screen's width.
  DialogUnits FittedUnits() const;
  void SetClientSize(const QSize& size);
  QMargins FrameMargins() const;
  // Attached and not ended: only then do events reach the dialog.
  bool Live() const { return m_dlg != nullptr && !m_ending; }

  CToggraDlg* m_dlg = nullptr;
  DialogUnits m_units;
  std::map<int, QWidget*> m_widgets;
  std::map<int, bool> m_shownPressed;
  std::vector<CLampButton*> m_lamps;
  QMenu* m_systemMenu = nullptr;
  QTimer m_tick;
  QEventLoop* m_loop = nullptr;
  bool m_ending = false;
  int m_result = 0;
};

}  // namespace toggra::gui
