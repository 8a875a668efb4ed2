// Observers of the main dialog's columns, and the queue through which other
// threads hand commands to the event thread.
//
// Every change of a column's state (m_state), countdown text or caption goes
// through one path in the dialog, which does the side effects in their fixed
// order (tray lamp, redraw, state file) and then tells each observer once.
// Observers run on the event thread, inside the change; they must not call
// back into the dialog's switch operations from there (post instead).
#pragma once

#include <functional>

namespace toggra {

class CToggraDlg;

// What changed in a column: a bit set.
enum ColumnChange : unsigned {
  kChangeState = 1u << 0,      // m_state
  kChangeCountdown = 1u << 1,  // the countdown (its button text, whole seconds)
  kChangeCaption = 1u << 2,    // the column's caption or tray tooltip
};

class IColumnObserver {
 public:
  virtual ~IColumnObserver() = default;
  // Column i changed; `what` is a set of ColumnChange bits.
  virtual void OnColumnChanged(const CToggraDlg& dlg, int i, unsigned what) = 0;
  // The columns were laid out anew (end of start-up, the switch to
  // simulation): every column in use may differ from before.
  virtual void OnColumnsReset(const CToggraDlg& dlg) = 0;
  // The dialog is about to end; no further call follows.
  virtual void OnDialogEnding(const CToggraDlg& dlg) { (void)dlg; }
};

// Runs work on the event thread. Post may be called from any thread; the
// work runs later, in the order posted, never inside Post.
class IEventQueue {
 public:
  virtual ~IEventQueue() = default;
  virtual void Post(std::function<void()> work) = 0;
};

}  // namespace toggra
