// toggra-headless: `toggra --headless` as a program of its own that links Qt
// Core only, for machines without a desktop (the package toggra-common).
#include <string>
#include <vector>

#include "headless/HeadlessMain.h"

int main(int argc, char** argv) {
  std::vector<char*> args(argv, argv + argc);
  std::string option = toggra::headless::kHeadlessOption;
  args.insert(args.begin() + (argc > 0 ? 1 : 0), option.data());
  args.push_back(nullptr);
  return toggra::headless::RunHeadless(argc + 1, args.data());
}
