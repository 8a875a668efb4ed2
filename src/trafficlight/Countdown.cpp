#include "app/ToggraDlg.h"

namespace toggra {

void CToggraDlg::TimerTick() {}
void CToggraDlg::StartStop(int) {}
void CToggraDlg::EditDurations(int) {}
void CToggraDlg::EndOfRun(int) {}

}  // namespace toggra
