// Windows Sockets for as long as an owner lives.

#ifndef WIN_WINSOCK_H_
#define WIN_WINSOCK_H_

namespace velk {

// Starts Windows Sockets 2.2 and ends it again with the owner. Every
// successful start is matched by one cleanup, so a program that starts its
// keepers many times does not pile up start-ups.
class ScopedWinsock {
 public:
  ScopedWinsock();
  ~ScopedWinsock();

  ScopedWinsock(const ScopedWinsock&) = delete;
  ScopedWinsock& operator=(const ScopedWinsock&) = delete;

  bool started() const { return started_; }

 private:
  bool started_ = false;
};

}  // namespace velk

#endif  // WIN_WINSOCK_H_
