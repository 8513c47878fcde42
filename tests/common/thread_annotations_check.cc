// Compiled by the lock analysis tests (native clang build), never run: once
// as it stands, which the analysis must accept, and once for each fault
// selected by a macro, which it must refuse.
#include "common/thread_annotations.h"

#include <condition_variable>

namespace {

class Counter {
 public:
  void Add() {
    velk::MutexLock lock(mutex_);
    ++count_;
    changed_.notify_all();
  }

  void AwaitCount(int count) {
#if !defined(VELK_FAULT_WAIT_WITHOUT_LOCK)
    velk::MutexLock lock(mutex_);
#endif
    while (count_ < count) mutex_.Wait(changed_);
  }

  int Read() {
#if defined(VELK_FAULT_READ_WITHOUT_LOCK)
    return count_;
#elif defined(VELK_FAULT_READ_AFTER_UNLOCK)
    { velk::MutexLock lock(mutex_); }
    return count_;
#elif defined(VELK_FAULT_CALL_WITHOUT_LOCK)
    return ReadLocked();
#else
    velk::MutexLock lock(mutex_);
    return ReadLocked();
#endif
  }

 private:
  int ReadLocked() REQUIRES(mutex_) { return count_; }

  velk::Mutex mutex_;
  std::condition_variable changed_;
  int count_ GUARDED_BY(mutex_) = 0;
};

}  // namespace

int main() {
  Counter counter;
  counter.Add();
  counter.AwaitCount(1);
  return counter.Read() == 1 ? 0 : 1;
}
