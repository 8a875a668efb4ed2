#include "app/ToggraDlg.h"

namespace toggra {

void CToggraDlg::OnCommand(int) {}
intptr_t CToggraDlg::OnMessage(int, uintptr_t, intptr_t) { return 0; }
void CToggraDlg::PreTranslateKeyDown(int) {}
void CToggraDlg::OnSysCommand(int) {}
void CToggraDlg::OnDrawItemSelect(int, bool, bool) {}

}  // namespace toggra
