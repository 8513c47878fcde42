#ifndef TUNNEL_HOST_SCOPED_HANDLE_H_
#define TUNNEL_HOST_SCOPED_HANDLE_H_

#include <windows.h>

namespace tunnel_host {

// Owns a kernel handle (event, process, file) and closes it. Closing keeps
// the thread's last error, so a caller may read the error of the call that
// failed after the owner of its handle is gone.
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle) : handle_(Normalize(handle)) {}
  ~ScopedHandle() { Close(); }
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.release();
    }
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  bool is_valid() const { return handle_ != nullptr; }
  HANDLE get() const { return handle_; }
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  void Close() {
    if (handle_ == nullptr) return;
    const DWORD last_error = GetLastError();
    CloseHandle(handle_);
    handle_ = nullptr;
    SetLastError(last_error);
  }

 private:
  // CreateFileW reports failure as INVALID_HANDLE_VALUE, most others as null.
  static HANDLE Normalize(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
  }

  HANDLE handle_ = nullptr;
};

}  // namespace tunnel_host

#endif  // TUNNEL_HOST_SCOPED_HANDLE_H_
