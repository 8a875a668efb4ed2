// The command line as it reaches the parser: arbitrary bytes as one line, and
// the same bytes as an argument list joined by the argv assembly. A path given
// after -S must come back whole whatever letters it holds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "app/Application.h"
#include "app/StartOptions.h"

namespace {

// Splits at the zero bytes, as the arguments of a process arrive.
std::vector<std::string> Arguments(const std::string& bytes) {
  std::vector<std::string> args;
  size_t start = 0;
  while (true) {
    const size_t zero = bytes.find('\0', start);
    args.push_back(bytes.substr(start, zero == std::string::npos ? std::string::npos : zero - start));
    if (zero == std::string::npos) return args;
    start = zero + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace toggra;
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  const StartOptions raw = ParseCommandLine(bytes, "toggra");
  FUZZ_REQUIRE(raw.colour >= -1 && raw.colour <= 2);

  std::vector<std::string> args = Arguments(bytes);
  const std::string programName = ProgramNameFromPath(args.front());
  args.erase(args.begin());
  ParseCommandLine(AssembleCommandLine(args), programName);

  // A quote cannot be carried inside a quoted value, a process argument holds
  // no zero byte, and a word that begins with "-" reads as an option; any
  // other path reaches the state file unchanged, as a separate argument or
  // glued to the option.
  if (bytes.find_first_of(std::string("\"\0", 2)) == std::string::npos &&
      (bytes.empty() || bytes[0] != '-')) {
    FUZZ_REQUIRE(ParseCommandLine(AssembleCommandLine({"-S", bytes, "-T"}), "toggra").stateFile ==
            bytes);
    if (!bytes.empty()) {
      const StartOptions glued = ParseCommandLine(AssembleCommandLine({"-S" + bytes}), "toggra");
      FUZZ_REQUIRE(glued.stateFile == bytes);
    }
  }
  return 0;
}
