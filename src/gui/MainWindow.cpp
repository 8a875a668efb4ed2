#include "gui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <array>

#include "app/ToggraDlg.h"
#include "device/DeviceRegistry.h"
#include "gui/ColumnFrame.h"
#include "gui/DevicesDialog.h"
#include "gui/KeyMapping.h"
#include "gui/LampButton.h"
#include "gui/LampIcons.h"

namespace toggra::gui {

namespace {

// Template 102's client area, dialog units.
constexpr DlgRect kTemplateClient{0, 0, 961, 184};

// The controls of one column in the template's order, which is also the tab
// order; each frame comes before the buttons it holds so that it lies below
// them.
constexpr std::array<int, 6> kColumnControls = {kIdGroupBox,    kIdUpperButton, kIdTimeButton,
                                                kIdLowerButton, kIdStartButton, kIdThirdButton};

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

// The context menu's entry for the display options and its note.
constexpr const char* kMenuOptions = "&Anzeigeoptionen...";
constexpr const char* kMenuOptionsWhen =
    "Die Anzeigeoptionen gelten ab dem nächsten Start ohne Argumente";
constexpr const char* kMenuDevices = "&Geräte und Verbindungen…";

}  // namespace

CMainWindow::CMainWindow(int tickMs) : QWidget(nullptr), m_units(DialogUnits::DialogFont()) {
  // A dialog frame: caption, system menu, minimise box, not resizable.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFont(DialogUnits::DialogFont());
  m_systemMenu = new QMenu(this);
  m_tick.setInterval(tickMs);
  connect(&m_tick, &QTimer::timeout, this, [this] {
    if (Live()) m_dlg->TimerTick();
  });
  // Every key press in this window passes the dialog's key map first.
  qApp->installEventFilter(this);
}

CMainWindow::~CMainWindow() { Detach(); }

int CMainWindow::RunModal(CToggraDlg& dlg) {
  if (Start(dlg)) {
    QEventLoop loop;
    m_loop = &loop;
    if (!m_ending) loop.exec();
    m_loop = nullptr;
  }
  const int result = m_ending ? m_result : dlg.Result();
  hide();
  Detach();
  return result;
}

bool CMainWindow::Start(CToggraDlg& dlg) {
  Attach(dlg);
  dlg.OnInitDialog();
  if (m_ending || dlg.Ended()) return false;
  KeepFocusInside();
  m_tick.start();
  // A start-up that hid the window into the tray (or minimised it) has shown
  // or hidden it explicitly; leave it so.
  if (!testAttribute(Qt::WA_WState_ExplicitShowHide)) show();
  return true;
}

void CMainWindow::Attach(CToggraDlg& dlg) {
  Detach();
  m_dlg = &dlg;
  m_ending = false;
  m_result = 0;
  CreateControlWidgets();
  SetClientSize(QSize(m_units.X(kTemplateClient.cx), m_units.Y(kTemplateClient.cy)));
}

void CMainWindow::Detach() {
  m_tick.stop();
  for (CLampButton* lamp : m_lamps) lamp->SetDialog(nullptr);
  m_dlg = nullptr;
}

void CMainWindow::CreateControlWidgets() {
  for (auto& [id, widget] : m_widgets) delete widget;
  m_widgets.clear();
  m_shownPressed.clear();
  m_lamps.clear();
  for (int i = 0; i < kMaxColumns; ++i) {
    for (int base : kColumnControls) {
      const CControl* control = m_dlg->FindControl(base + i);
      if (!control) continue;
      QWidget* widget = CreateControlWidget(*control);
      m_widgets[control->id] = widget;
      ApplyControl(widget, *control);
    }
  }
}

QWidget* CMainWindow::CreateControlWidget(const CControl& control) {
  const int id = control.id;
  switch (control.kind) {
    case ControlKind::GroupBox:
      return NewColumnFrame(this);
    case ControlKind::OwnerDrawButton: {
      auto* lamp = new CLampButton(id, this);
      lamp->SetDialog(m_dlg);
      connect(lamp, &QAbstractButton::clicked, this, [this, id] {
        if (Live()) m_dlg->OnCommand(id);
      });
      connect(lamp, &CLampButton::selectionChanged, this,
              [this](int controlId, bool hasFocus, bool selected) {
                if (Live()) m_dlg->OnDrawItemSelect(controlId, hasFocus, selected);
              });
      m_lamps.push_back(lamp);
      return lamp;
    }
    case ControlKind::PushButton: {
      auto* button = new QPushButton(this);
      button->setAutoDefault(false);
      connect(button, &QAbstractButton::clicked, this, [this, id] {
        if (Live()) m_dlg->OnCommand(id);
      });
      return button;
    }
  }
  return nullptr;
}

void CMainWindow::ApplyControl(QWidget* widget, const CControl& control) {
  const QString text = FromUtf8(control.text);
  if (auto* box = qobject_cast<QGroupBox*>(widget)) {
    box->setTitle(text);
  } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
    button->setText(text);
    // Only a change of the pushed look is applied: setting it again on every
    // text change would cancel a click the user is in the middle of.
    auto [it, fresh] = m_shownPressed.try_emplace(control.id, false);
    if (fresh || it->second != control.pressed) {
      it->second = control.pressed;
      button->setDown(control.pressed);
    }
  }
  widget->setEnabled(control.enabled);
  // Until the layout places a control it stands where its template puts it.
  const Rect r = control.rect.Width() > 0 || control.rect.Height() > 0
                     ? control.rect
                     : m_units.Map(control.templateRect);
  widget->setGeometry(r.left, r.top, r.Width(), r.Height());
  widget->setVisible(control.visible);
}

void CMainWindow::KeepFocusInside() {
  // The layout leaves the unused columns (and rows) outside the client area
  // rather than hiding them; a button nobody can see or click must not take
  // the focus by Tab either, where Space would press it unseen. A button the
  // edge cuts counts as outside: only a sliver of it shows.
  for (auto& [id, widget] : m_widgets)
    if (qobject_cast<QAbstractButton*>(widget) && !rect().contains(widget->geometry()))
      widget->setFocusPolicy(Qt::NoFocus);
}

QWidget* CMainWindow::ControlWidget(int id) const {
  auto it = m_widgets.find(id);
  return it == m_widgets.end() ? nullptr : it->second;
}

// ---- IDialogHost ----

void CMainWindow::ControlChanged(const CControl& control) {
  if (QWidget* widget = ControlWidget(control.id)) ApplyControl(widget, control);
}

void CMainWindow::InvalidateControl(int id) {
  if (QWidget* widget = ControlWidget(id)) widget->update();
}

void CMainWindow::InvalidateAll() {
  for (CLampButton* lamp : m_lamps) lamp->update();
  update();
}

void CMainWindow::SetTitle(const std::string& title) { setWindowTitle(FromUtf8(title)); }

void CMainWindow::SetIcon(IconId icon) { setWindowIcon(LampIcon(icon)); }

void CMainWindow::AddSystemMenuItem(int id, const std::string& text, bool separatorBefore) {
  const auto addCommand = [this, id](const QString& label) {
    QAction* action = m_systemMenu->addAction(label);
    action->setData(id);
    // Queued, as the system command arrives after its menu has closed.
    connect(
        action, &QAction::triggered, this,
        [this, id] {
          if (Live()) m_dlg->OnSysCommand(id);
        },
        Qt::QueuedConnection);
    return action;
  };
  if (separatorBefore) m_systemMenu->addSeparator();
  QAction* action = addCommand(FromUtf8(text));
  if (id != kSysAbout) return;
  // The established text of the options dialog names neither the options nor
  // when they count: an entry that names them opens the same dialog, and a
  // line that cannot be chosen says when they take effect.
  const QString when = QString::fromUtf8(kMenuOptionsWhen);
  m_systemMenu->setToolTipsVisible(true);
  action->setToolTip(when);
  addCommand(QString::fromUtf8(kMenuOptions))->setToolTip(when);
  m_systemMenu->addAction(when)->setEnabled(false);
  m_systemMenu->addSeparator();
  connect(m_systemMenu->addAction(QString::fromUtf8(kMenuDevices)), &QAction::triggered, this,
          &CMainWindow::OpenDevicesDialog, Qt::QueuedConnection);
}

void CMainWindow::OpenDevicesDialog() {
  if (!Live()) return;
  CDevicesDialog dialog(BuiltinRegistry(), m_dlg->m_services.registry, this);
  dialog.exec();
}

void CMainWindow::EndDialog(int result) {
  if (m_ending) return;
  m_ending = true;
  m_result = result;
  m_tick.stop();
  if (m_loop) m_loop->exit(result);
}

void CMainWindow::PostMessage(int msg, uintptr_t wParam, intptr_t lParam) {
  QMetaObject::invokeMethod(
      this,
      [this, msg, wParam, lParam] { SendMessage(msg, wParam, lParam); },
      Qt::QueuedConnection);
}

void CMainWindow::SendMessage(int msg, uintptr_t wParam, intptr_t lParam) {
  if (Live()) m_dlg->OnMessage(msg, wParam, lParam);
}

void CMainWindow::SetFocus(int id) {
  if (QWidget* widget = ControlWidget(id)) widget->setFocus(Qt::OtherFocusReason);
}

Rect CMainWindow::MapDialogRect(const DlgRect& r) { return FittedUnits().Map(r); }

DialogUnits CMainWindow::FittedUnits() const {
  const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
  const CControl* box = m_dlg ? m_dlg->FindControl(kIdGroupBox) : nullptr;
  if (!shown || !box) return m_units;
  const QMargins frame = FrameMargins();
  return m_units.FittedTo(m_dlg->ShownColumns(), box->templateRect.cx,
                          shown->availableGeometry().width() - frame.left() - frame.right());
}

Point CMainWindow::ClientOrigin() {
  const QMargins m = FrameMargins();
  return {m.left(), m.top()};
}

Size CMainWindow::OuterSize() {
  const QMargins m = FrameMargins();
  return {width() + m.left() + m.right(), height() + m.top() + m.bottom()};
}

void CMainWindow::SetOuterSize(int cx, int cy) {
  const QMargins m = FrameMargins();
  SetClientSize(QSize(cx - m.left() - m.right(), cy - m.top() - m.bottom()));
}

int CMainWindow::ClientWidth() { return width(); }

void CMainWindow::SetClientSize(const QSize& size) {
  // The dialog frame is not resizable: the size is the layout's.
  setFixedSize(size.expandedTo(QSize(0, 0)));
}

QMargins CMainWindow::FrameMargins() const {
  const QRect frame = frameGeometry(), client = geometry();
  const QMargins real(client.left() - frame.left(), client.top() - frame.top(),
                      frame.right() - client.right(), frame.bottom() - client.bottom());
  if (!real.isNull()) return real;
  // Before the window is shown, and on platforms without decorations, the frame
  // is not known. The layout sizes the outer window and expects a caption in
  // it (the rows it cuts off and the traffic-light rows it moves depend on
  // that), so assume the frame the style draws around a window.
  const int border = style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, this);
  const int caption = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
  return {border, caption + border, border, border};
}

// ---- events ----

bool CMainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && Live()) {
    // A key press goes first to the focus widget (the window itself when no
    // control has the focus) and then, while ignored, to its parents, passing
    // this filter each time: act on the first delivery only.
    QWidget* first = focusWidget() ? focusWidget() : this;
    if (watched == first) {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (const int vk = VirtualKeyFor(key->key(), key->modifiers())) m_dlg->PreTranslateKeyDown(vk);
    }
  }
  // The key goes on to its ordinary effect in every case.
  return QWidget::eventFilter(watched, event);
}

void CMainWindow::keyPressEvent(QKeyEvent* event) {
  if (!Live()) return QWidget::keyPressEvent(event);
  switch (event->key()) {
    case Qt::Key_Escape:
      m_dlg->OnCancel();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // Enter clicks the push button that has the focus; anywhere else it is
      // the dialog's OK.
      if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled())
        button->click();
      else
        m_dlg->OnOK();
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

void CMainWindow::closeEvent(QCloseEvent* event) {
  if (!Live()) return QWidget::closeEvent(event);
  // The close box is the dialog's Cancel; the dialog decides whether and how
  // the window goes.
  event->ignore();
  m_dlg->OnCancel();
}

void CMainWindow::contextMenuEvent(QContextMenuEvent* event) {
  if (!Live() || m_systemMenu->isEmpty()) return;
  // A right click on a button is the button's; the menu belongs to the rest of
  // the window. The context-menu key opens it wherever the focus is.
  if (event->reason() == QContextMenuEvent::Mouse &&
      qobject_cast<QAbstractButton*>(childAt(event->pos())))
    return;
  m_systemMenu->popup(event->globalPos());
}

}  // namespace toggra::gui
