// The end-to-end test programs' entry: GoogleTest, then the program paths.
#include <gtest/gtest.h>

#include "e2e_support.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  e2e::InitPaths(&argc, argv);
  return RUN_ALL_TESTS();
}
