#include <gtest/gtest.h>

#include "tests/support/crash_guard.h"

int main(int argc, char** argv) {
  velk::test::InstallCrashGuard();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
