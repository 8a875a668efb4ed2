#include <cstdlib>

#include "device/BenchPivlink.h"
#include "device/NoDevicePivlink.h"
#include "device/Pivlink.h"

namespace toggra {

std::unique_ptr<CPivlink> CreatePivlink() {
  const char* bench = std::getenv("TOGGRA_BENCH");
  if (bench && *bench) {
    const char* log = std::getenv("TOGGRA_BENCH_LOG");
    return std::make_unique<CBenchPivlink>(bench, log ? log : "");
  }
  return std::make_unique<CNoDevicePivlink>();
}

}  // namespace toggra
