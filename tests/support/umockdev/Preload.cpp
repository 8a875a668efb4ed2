#include "support/umockdev/Preload.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace toggra::test {

namespace {

constexpr const char* kPreloadLibrary = "libumockdev-preload.so.0";
// Set by the re-exec, so that a preload that does not take (a missing
// library) ends in a message instead of an endless chain of re-execs.
constexpr const char* kReexecMarker = "TOGGRA_UMOCKDEV_REEXEC";

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

}  // namespace

std::string UmockdevPreload() {
  std::string current = Env("LD_PRELOAD");
  if (current.find(kPreloadLibrary) != std::string::npos) return current;
  std::string value;
#ifdef TOGGRA_ASAN_RUNTIME
  // The sanitizer's runtime checks that it is the first library loaded.
  if (current.find("libasan") == std::string::npos) value = TOGGRA_ASAN_RUNTIME;
#endif
  if (!current.empty()) value += (value.empty() ? "" : ":") + current;
  value += (value.empty() ? "" : ":") + std::string(kPreloadLibrary);
  return value;
}

bool UnderUmockdevPreload() { return Env("LD_PRELOAD").find(kPreloadLibrary) != std::string::npos; }

void ReexecUnderUmockdev(int argc, char** argv) {
  (void)argc;
  if (UnderUmockdevPreload()) return;
  if (!Env(kReexecMarker).empty()) {
    std::fprintf(stderr, "umockdev: %s did not load; tests run without it\n", kPreloadLibrary);
    return;
  }
  const std::string preload = UmockdevPreload();
  ::setenv("LD_PRELOAD", preload.c_str(), 1);
  ::setenv(kReexecMarker, "1", 1);
  ::execv("/proc/self/exe", argv);
  std::fprintf(stderr, "umockdev: re-exec with LD_PRELOAD failed: %s\n", std::strerror(errno));
}

std::map<std::string, std::string> UmockdevChildEnvironment(const std::string& rootDir) {
  return {{"LD_PRELOAD", UmockdevPreload()}, {"UMOCKDEV_DIR", rootDir}};
}

}  // namespace toggra::test
