// `toggra --headless`: the program without window and tray.
#pragma once

namespace toggra::headless {

inline constexpr const char* kHeadlessOption = "--headless";

// True when the command line holds --headless.
bool WantsHeadless(int argc, char** argv);

// Runs the whole program headless (Qt Core only): the classic options, the
// tick, countdowns, protocol and state files, the MQTT bridge when one is
// configured. Returns the process's exit code.
int RunHeadless(int argc, char** argv);

}  // namespace toggra::headless
