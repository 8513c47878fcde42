#ifndef CLIENT_PROVISIONING_SCOPED_HANDLES_H_
#define CLIENT_PROVISIONING_SCOPED_HANDLES_H_

#include <windows.h>

#include <utility>

namespace velk {

// One owner per kind of Windows resource: movable, never copyable, closed when
// the owner dies. Closing preserves the thread's last error, so a caller may
// read GetLastError() after the owner of a failed operation is gone.
template <typename Traits>
class ScopedResource {
 public:
  using Type = typename Traits::Type;

  ScopedResource() = default;
  explicit ScopedResource(Type value) : value_(value) {}
  ~ScopedResource() { Close(); }

  ScopedResource(const ScopedResource&) = delete;
  ScopedResource& operator=(const ScopedResource&) = delete;
  ScopedResource(ScopedResource&& other) noexcept : value_(other.release()) {}
  ScopedResource& operator=(ScopedResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Type get() const { return value_; }
  bool is_valid() const { return Traits::IsValid(value_); }
  explicit operator bool() const { return is_valid(); }

  Type release() { return std::exchange(value_, Traits::Invalid()); }
  void reset(Type value = Traits::Invalid()) {
    Close();
    value_ = value;
  }

 private:
  void Close() {
    if (!Traits::IsValid(value_)) return;
    const DWORD error = GetLastError();
    Traits::Close(value_);
    SetLastError(error);
    value_ = Traits::Invalid();
  }

  Type value_ = Traits::Invalid();
};

struct ServiceHandleTraits {
  using Type = SC_HANDLE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type value) { return value != nullptr; }
  static void Close(Type value) { CloseServiceHandle(value); }
};

// Kernel handles of files and processes. Both nullptr and
// INVALID_HANDLE_VALUE mean "none", since the platform uses either.
struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type value) {
    return value != nullptr && value != INVALID_HANDLE_VALUE;
  }
  static void Close(Type value) { CloseHandle(value); }
};

// Memory that the security functions allocate for their caller (access
// lists, security descriptors).
struct LocalMemoryTraits {
  using Type = HLOCAL;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type value) { return value != nullptr; }
  static void Close(Type value) { LocalFree(value); }
};

using ScopedServiceHandle = ScopedResource<ServiceHandleTraits>;
using ScopedKernelHandle = ScopedResource<KernelHandleTraits>;
using ScopedLocalMemory = ScopedResource<LocalMemoryTraits>;

}  // namespace velk

#endif  // CLIENT_PROVISIONING_SCOPED_HANDLES_H_
