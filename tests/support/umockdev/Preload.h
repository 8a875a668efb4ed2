// Running a test program under umockdev's preload library. The library must
// be loaded before the program starts, so a test program re-executes itself
// with LD_PRELOAD set when it was started without it.
#pragma once

#include <map>
#include <string>

namespace toggra::test {

// The LD_PRELOAD value for a process that uses a test bed: umockdev's library
// after what LD_PRELOAD held already, and, in a build with AddressSanitizer,
// the sanitizer's runtime first (it insists on coming first).
std::string UmockdevPreload();

// True when this process runs with umockdev's preload library.
bool UnderUmockdevPreload();

// Re-executes the running program (same arguments) with UmockdevPreload() in
// LD_PRELOAD unless it already runs under it. Returns only when no re-exec
// was needed, or when it failed (a message on stderr; the caller goes on
// without the preload and its tests fail).
void ReexecUnderUmockdev(int argc, char** argv);

// The environment a child process needs to see `rootDir`'s test bed.
std::map<std::string, std::string> UmockdevChildEnvironment(const std::string& rootDir);

}  // namespace toggra::test
