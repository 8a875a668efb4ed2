// The keys that start or stop the countdown of a column, as a table of
// virtual-key ranges. Columns 12 to 15 have no key.
#pragma once

#include "app/Ids.h"

namespace toggra {

struct StartStopKeys {
  int firstKey;
  int lastKey;
  int firstColumn;  // column of firstKey; the following keys count up from it
};

inline constexpr StartStopKeys kStartStopKeyTable[] = {
    {VK_F1, VK_F12, 0},
    {VK_NUMPAD1, VK_NUMPAD9, 0},
    {VK_SPACE, VK_SPACE, 0},
    // Keypad 0, "+" and "," start nothing.
    {VK_DIVIDE, VK_DIVIDE, 9},
    {VK_MULTIPLY, VK_MULTIPLY, 10},
    {VK_SUBTRACT, VK_SUBTRACT, 11},
};

// The column whose countdown the key starts or stops, or -1 for none.
int StartStopColumnOfKey(int virtualKey);

}  // namespace toggra
