#include "app/ToggraDlg.h"

namespace toggra {

bool CToggraDlg::ReadOption(const char*, int*) { return false; }
bool CToggraDlg::ReadProtocolOption(std::string*) { return false; }
void CToggraDlg::WriteOption(const char*, int) {}
void CToggraDlg::WriteProtocolOption(const std::string&) {}

}  // namespace toggra
