// The two small error dialogs: "Fehler" at start-up without a device
// (template 149) and when a switch does not answer (template 150).
#pragma once

namespace toggra {

class CStartError {
 public:
  int m_dontShowAgain = 0;  // check box 1101 "Diese Meldung nicht mehr zeigen"
};

// Stays on top of all other windows; OK ends the program.
class CDeviceError {};

}  // namespace toggra
