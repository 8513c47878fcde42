// Which thread may call a function: a ThreadChecker remembers the thread
// that made it, and CHECK_CALLED_ON_VALID_THREAD ends the process with a
// message when a function that must run there runs elsewhere. Header-only
// and portable, so every part may use it.
//
// The check is active in debug builds and wherever VELK_THREAD_CHECKS is
// defined (every build that carries the tests); elsewhere it compiles to
// nothing, while CalledOnValidThread still answers.

#ifndef COMMON_THREAD_CHECKER_H_
#define COMMON_THREAD_CHECKER_H_

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace velk {

class ThreadChecker {
 public:
  ThreadChecker() : owner_(std::this_thread::get_id()) {}

  ThreadChecker(const ThreadChecker&) = delete;
  ThreadChecker& operator=(const ThreadChecker&) = delete;

  bool CalledOnValidThread() const {
    return std::this_thread::get_id() == owner_;
  }

 private:
  const std::thread::id owner_;
};

// A wrong thread is a programming error that the code around the check
// cannot recover from: the message says where, and the process ends.
[[noreturn]] inline void CalledOnWrongThread(const char* file, int line,
                                             const char* function) {
  std::fprintf(stderr, "%s:%d: %s called on the wrong thread\n", file, line,
               function);
  std::fflush(stderr);
  std::abort();
}

}  // namespace velk

#if defined(VELK_THREAD_CHECKS) || !defined(NDEBUG)
#define CHECK_CALLED_ON_VALID_THREAD(checker)                    \
  do {                                                           \
    if (!(checker).CalledOnValidThread()) {                      \
      ::velk::CalledOnWrongThread(__FILE__, __LINE__, __func__); \
    }                                                            \
  } while (false)
#else
#define CHECK_CALLED_ON_VALID_THREAD(checker) \
  do {                                        \
  } while (false)
#endif

#endif  // COMMON_THREAD_CHECKER_H_
