// For measuring start-up from outside: with TOGGRA_REPORT_SHOWN=1 the program
// writes "shown SECONDS" to stderr when its first window is exposed, on the
// monotonic clock the measuring script starts from.
#pragma once

class QCoreApplication;

namespace toggra::gui {

// Does nothing unless TOGGRA_REPORT_SHOWN is 1.
void ReportFirstShownWindow(QCoreApplication& app);

}  // namespace toggra::gui
