// Checks both front-ends make before the main dialog starts.
#pragma once

#include <functional>
#include <string>

#include "app/StartProblem.h"

namespace toggra {
class IRegistry;
}

namespace toggra::frontend {

// kConfiguration when a configured device entry cannot work whatever is
// plugged in (see UnusableDeviceEntries); each such entry goes to `say`.
StartProblem CheckDeviceEntries(IRegistry* registry,
                                const std::function<void(const std::string&)>& say);

}  // namespace toggra::frontend
