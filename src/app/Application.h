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

// Toggra's own options: the arguments that begin with "--". They are taken off
// before the classic parser reads the line, as the framework's own options
// are; a lone "--" ends them, and what follows it goes to the parser as it is.
struct OwnOptions {
  bool help = false;
  bool version = false;
  bool headless = false;          // the front-end without window and tray
  std::vector<std::string> unknown;  // as typed
  std::vector<std::string> rest;     // the arguments for the classic parser, in order
};
OwnOptions TakeOwnOptions(const std::vector<std::string>& args);

// The own options the program knows, without their dashes.
const std::vector<std::string>& OwnOptionNames();

// For `--help` or `--version` anywhere among the arguments: the text to print
// on stdout before exiting with 0.
std::optional<std::string> InfoRequest(const std::vector<std::string>& args);

// True for a "--" option that the window system's toolkit reads itself
// ("--platform", "--style=fusion"): not one of the program's.
bool IsFrameworkOption(const std::string& arg);

// What the arguments (without the program name) ask for before any window
// opens: the help or the version on stdout with exit code 0, or for an
// unknown own option a message on stderr with exit code 2. Before the
// framework has taken its options off, a "--" option that names one of the
// framework's (it reads "--platform" as "-platform") is left to it; every
// other unknown one is rejected at once, so that a typo never reaches the
// window system. Once frameworkOptionsRemoved is true, none is left to it.
struct EarlyExit {
  int exitCode = 0;
  std::string standardOutput;
  std::string standardError;
};
std::optional<EarlyExit> AnswerBeforeStart(const std::vector<std::string>& args,
                                           bool frameworkOptionsRemoved);

// The parser's warnings as lines for stderr ("toggra: ..." each).
std::string WarningText(const StartOptions& options);

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
