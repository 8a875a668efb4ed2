// The start sequence: from the process arguments to the modal main dialog.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/StartOptions.h"

namespace toggra {

class CToggraDlg;
struct DlgServices;

// The command line as one string: the arguments joined by single spaces, an
// argument holding a space wrapped in double quotes.
std::string AssembleCommandLine(const std::vector<std::string>& args);

// The base name of argv[0] without directory and extension.
std::string ProgramNameFromPath(const std::string& argv0);

// For `--help` or `--version` as the only argument: the text to print on
// stdout before exiting with 0.
std::optional<std::string> InfoRequest(const std::vector<std::string>& args);

// The copy step: the options into the dialog, numbers converted, m_exitOnRed.
void ApplyStartOptions(const StartOptions& options, std::vector<std::string>* names,
                       CToggraDlg& dlg);

class CToggraApp {
 public:
  // Runs the whole life of the program: parse, construct the dialog, copy the
  // options, run it modally with doModal, destroy it. Always returns false.
  bool InitInstance(const std::vector<std::string>& argv, const DlgServices& services,
                    const std::function<int(CToggraDlg&)>& doModal);
};

}  // namespace toggra
