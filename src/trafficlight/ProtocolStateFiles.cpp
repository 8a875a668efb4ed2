#include "app/ToggraDlg.h"

namespace toggra {

void CToggraDlg::WriteProtocol(int) {}
void CToggraDlg::SaveState() {}
void CToggraDlg::ReadState() {}

}  // namespace toggra
