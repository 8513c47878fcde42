// The thread checker: it knows the thread that made it, and the check ends
// the process, with a message, on any other.
#include "common/thread_checker.h"

#include <gtest/gtest.h>

#include <thread>

namespace velk {
namespace {

TEST(ThreadChecker, KnowsTheThreadThatMadeIt) {
  const ThreadChecker checker;
  EXPECT_TRUE(checker.CalledOnValidThread());
  bool elsewhere = true;
  std::thread([&] { elsewhere = checker.CalledOnValidThread(); }).join();
  EXPECT_FALSE(elsewhere);
}

TEST(ThreadCheckerDeathTest, CheckEndsTheProcessOnAnotherThread) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const ThreadChecker checker;
  CHECK_CALLED_ON_VALID_THREAD(checker);  // the right thread passes
  EXPECT_DEATH(
      std::thread([&] { CHECK_CALLED_ON_VALID_THREAD(checker); }).join(),
      "called on the wrong thread");
}

}  // namespace
}  // namespace velk
