#include "app/StartOptions.h"

namespace toggra {

StartOptions ParseCommandLine(const std::string&, const std::string&) { return {}; }

}  // namespace toggra
