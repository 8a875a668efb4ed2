#include "app/ToggraDlg.h"

namespace toggra {

void CToggraDlg::SwitchGreen(int) {}
void CToggraDlg::SwitchRed(int) {}
void CToggraDlg::SwitchYellow(int) {}
void CToggraDlg::SwitchDark(int) {}

}  // namespace toggra
