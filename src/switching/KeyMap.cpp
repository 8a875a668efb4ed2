#include "switching/KeyMap.h"

namespace toggra {

int StartStopColumnOfKey(int virtualKey) {
  for (const StartStopKeys& range : kStartStopKeyTable)
    if (virtualKey >= range.firstKey && virtualKey <= range.lastKey)
      return range.firstColumn + (virtualKey - range.firstKey);
  return -1;
}

}  // namespace toggra
