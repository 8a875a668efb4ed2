#include "app/ToggraDlg.h"

namespace toggra {

PollResult CToggraDlg::PollColumn(int) { return {}; }
void CToggraDlg::ApplyStartColour(int) {}

}  // namespace toggra
