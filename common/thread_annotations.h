// Lock annotations that clang checks with -Wthread-safety: which lock guards
// a field, which lock a function needs or takes. Under other compilers the
// macros expand to nothing. Header-only and portable, so every part may use
// it.
//
// std::mutex carries no annotations in libstdc++, so annotated code locks a
// velk::Mutex with a velk::MutexLock instead, and waits on a condition
// variable through the Mutex; a lock owned elsewhere (such as the
// embedder's) gets a small capability type and a velk::ScopedLock.

#ifndef COMMON_THREAD_ANNOTATIONS_H_
#define COMMON_THREAD_ANNOTATIONS_H_

#include <chrono>
#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define VELK_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define VELK_THREAD_ANNOTATION(x)
#endif

// A type whose objects are locks.
#define CAPABILITY(name) VELK_THREAD_ANNOTATION(capability(name))
// A type whose objects hold a lock for their lifetime.
#define SCOPED_CAPABILITY VELK_THREAD_ANNOTATION(scoped_lockable)
// A field read or written only under the lock.
#define GUARDED_BY(lock) VELK_THREAD_ANNOTATION(guarded_by(lock))
// A pointer whose target is read or written only under the lock.
#define PT_GUARDED_BY(lock) VELK_THREAD_ANNOTATION(pt_guarded_by(lock))
// Lock order: this lock is taken before (after) the named ones.
#define ACQUIRED_BEFORE(...) \
  VELK_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) VELK_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
// The caller must hold the locks.
#define REQUIRES(...) VELK_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// The caller must not hold the locks (the function takes them).
#define EXCLUDES(...) VELK_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// The function takes (releases) the locks and returns holding (without)
// them; with no argument, the object's own lock.
#define ACQUIRE(...) VELK_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) VELK_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
// For the few functions whose locking the analysis cannot follow, such as
// a lock taken in one C call and released in another. Say why beside it.
#define NO_THREAD_SAFETY_ANALYSIS \
  VELK_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace velk {

// A std::mutex that the analysis knows as a lock.
class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }

  // Gives the held lock up until `condition` is notified (or wakes
  // spuriously) and takes it again: the caller tests what it waits for in a
  // loop around the call, under the lock, where the analysis sees it.
  void Wait(std::condition_variable& condition) REQUIRES(this) {
    std::unique_lock<std::mutex> lock(mutex_, std::adopt_lock);
    condition.wait(lock);
    (void)lock.release();  // the caller's MutexLock still holds it
  }
  // The same, but returns false once `deadline` has passed.
  bool WaitUntil(std::condition_variable& condition,
                 std::chrono::steady_clock::time_point deadline)
      REQUIRES(this) {
    std::unique_lock<std::mutex> lock(mutex_, std::adopt_lock);
    const bool notified =
        condition.wait_until(lock, deadline) == std::cv_status::no_timeout;
    (void)lock.release();
    return notified;
  }

 private:
  std::mutex mutex_;
};

// Holds a lock from construction to destruction: a Mutex, or any other
// capability type with Lock() and Unlock().
template <typename Lockable>
class SCOPED_CAPABILITY ScopedLock {
 public:
  explicit ScopedLock(Lockable& lock) ACQUIRE(lock) : lock_(lock) {
    lock_.Lock();
  }
  ~ScopedLock() RELEASE() { lock_.Unlock(); }

  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

 private:
  Lockable& lock_;
};

using MutexLock = ScopedLock<Mutex>;

}  // namespace velk

#endif  // COMMON_THREAD_ANNOTATIONS_H_
