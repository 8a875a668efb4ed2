// No usable device: the start-error dialog, its stored "do not show again"
// flag, and the switch to the simulated device.
#include "app/ErrorDialogs.h"
#include "app/StartUpSteps.h"

namespace toggra {

void CToggraDlg::NoDeviceHandling(CDeviceSettings& settings) {
  // Started with a state file, the program works beside other instances
  // through that file: nothing is asked or stored.
  if (m_stateFile.empty()) {
    const std::string flagName = CDeviceSettings::ValueName(0, 0, 0, kEntryShowStartError);
    int show = 1;
    if (!settings.ReadDword(flagName, &show)) show = 1;
    if (show == 0) {
      EndDialog(IDOK);
    } else {
      CStartError dlg;
      const int result = m_services.prompts->RunStartError(dlg);
      settings.WriteDword(flagName, dlg.m_dontShowAgain ? 0 : 1);
      // Abbrechen, the close box and a dialog that could not be shown all end
      // the program.
      if (result != IDOK) EndDialog(IDOK);
    }
  }
  // Ending takes effect after the start-up, which completes in simulation.
  m_simulation = 1;
}

}  // namespace toggra
