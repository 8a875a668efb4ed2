// The command line and program name, parsed.
#pragma once

#include <string>
#include <vector>

namespace toggra {

struct StartOptions {
  bool trafficLight = false;
  bool groupMode = false;
  int groupStride = 0;
  int groupSize = 0;
  bool trayMode = true;
  bool exclusive = false;
  bool logging = false;
  std::vector<std::string> names;
  std::string stateFile;
  int number1 = -1;
  int number2 = -1;
  int colour = -1;  // 0 red, 1 green, 2 yellow
  bool noArguments = false;
  // "-h", "-H" or "-?": the help is shown instead of starting.
  bool help = false;
  // One German sentence per piece of the line that had no effect, in line
  // order. The parser never fails; these only tell the user what it passed
  // over or what a later piece replaced.
  std::vector<std::string> warnings;
};

// commandLine: the argument text after the program name; programName: the
// program file's base name without directory and extension.
StartOptions ParseCommandLine(const std::string& commandLine, const std::string& programName);

}  // namespace toggra
