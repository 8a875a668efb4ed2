#include "app/Application.h"

#include "app/ToggraDlg.h"

namespace toggra {

std::string AssembleCommandLine(const std::vector<std::string>&) { return {}; }
std::string ProgramNameFromPath(const std::string&) { return {}; }
std::optional<std::string> InfoRequest(const std::vector<std::string>&) { return std::nullopt; }
void ApplyStartOptions(const StartOptions&, std::vector<std::string>*, CToggraDlg&) {}
bool CToggraApp::InitInstance(const std::vector<std::string>&, const DlgServices&,
                              const std::function<int(CToggraDlg&)>&) {
  return false;
}

}  // namespace toggra
