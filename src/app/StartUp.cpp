// Start-up of the main dialog: system menu, options, discovery, layout.
#include "app/ToggraDlg.h"

namespace toggra {

bool CToggraDlg::OnInitDialog() { return true; }
void CToggraDlg::Discover(CDeviceSettings&) {}
void CToggraDlg::NoDeviceHandling(CDeviceSettings&) {}
void CToggraDlg::Layout(int) {}
void CToggraDlg::UpdateTitle() {}
std::string CToggraDlg::Caption(int) { return {}; }
void CToggraDlg::OnOK() {}
void CToggraDlg::OnCancel() {}

}  // namespace toggra
