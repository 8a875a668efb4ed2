#include "device/Pivlink.h"

namespace toggra {

std::unique_ptr<CPivlink> CreatePivlink() { return nullptr; }

}  // namespace toggra
