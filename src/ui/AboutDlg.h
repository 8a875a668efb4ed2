// The options dialog "Info über Toggra" (template 100) and the log dialog
// (template 154): the values they exchange with the main dialog.
#pragma once

#include <string>

#include "Version.h"

namespace toggra {

inline constexpr const char* kVersionText = "Toggra Version " TOGGRA_VERSION;

class CAboutDlg {
 public:
  int m_checkOneLine = 0;     // 1102 "Einzeilige Darstellung"
  int m_checkPushButton = 0;  // 1103 "Taster"
  int m_checkArrow = 0;       // 1104 "Pfeildarstellung"
};

class CLogDlg {
 public:
  std::string m_text;  // edit 1109: the log lines, concatenated
};

}  // namespace toggra
