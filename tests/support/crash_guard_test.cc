// Crashes on purpose. ctest expects this program to fail and to print the
// guard's report: if either stops happening, crashes in tests can pass
// silently under Wine.
#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(CrashGuard, CrashOnWorkerThreadEndsTheProcess) {
  std::thread worker([] {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  });
  worker.join();
}

}  // namespace
