// main() for a test program whose tests use a test bed in their own process:
// the program first re-executes itself under umockdev's preload library.
#include <gtest/gtest.h>

#include "support/umockdev/Preload.h"

int main(int argc, char** argv) {
  toggra::test::ReexecUnderUmockdev(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
