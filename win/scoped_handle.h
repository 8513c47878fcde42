// One owner for every kind of Windows resource: movable, never copyable,
// closed exactly once when the owner dies or is reset.
//
// A Traits type says what the resource is and how it ends:
//   using Type = ...;                 the handle type
//   static Type Invalid();            the value that owns nothing
//   static bool IsValid(Type value);  whether a value must be closed
//   void Close(Type value) const;     ends it (static, or a member that uses
//                                     state such as a function table)
//
// Closing preserves the thread's last error, so a caller may read
// GetLastError() for a failed call after the owner of its handle is gone.

#ifndef WIN_SCOPED_HANDLE_H_
#define WIN_SCOPED_HANDLE_H_

#include <windows.h>

#include <utility>

namespace velk {

template <typename Traits>
class ScopedResource {
 public:
  using Type = typename Traits::Type;

  ScopedResource() = default;
  explicit ScopedResource(Type value, Traits traits = Traits())
      : value_(value), traits_(std::move(traits)) {}
  explicit ScopedResource(Traits traits) : traits_(std::move(traits)) {}
  ~ScopedResource() { Close(); }

  ScopedResource(const ScopedResource&) = delete;
  ScopedResource& operator=(const ScopedResource&) = delete;
  ScopedResource(ScopedResource&& other) noexcept
      : value_(other.release()), traits_(other.traits_) {}
  ScopedResource& operator=(ScopedResource&& other) noexcept {
    if (this != &other) {
      Close();
      traits_ = other.traits_;
      value_ = other.release();
    }
    return *this;
  }

  Type get() const { return value_; }
  bool is_valid() const { return Traits::IsValid(value_); }
  explicit operator bool() const { return is_valid(); }

  // Gives up ownership without closing.
  Type release() { return std::exchange(value_, Traits::Invalid()); }

  // Closes what is owned and takes `value` instead.
  void reset(Type value = Traits::Invalid()) {
    Close();
    value_ = value;
  }

  // Closes what is owned and hands out the place where a function that
  // returns its handle through an out-parameter writes the new one:
  //   OpenProcessToken(process, TOKEN_QUERY, token.receive());
  Type* receive() {
    Close();
    return &value_;
  }

 private:
  void Close() {
    if (!Traits::IsValid(value_)) return;
    const DWORD error = GetLastError();
    traits_.Close(std::exchange(value_, Traits::Invalid()));
    SetLastError(error);
  }

  Type value_ = Traits::Invalid();
  Traits traits_;
};

// The part of the traits that most kinds share: null owns nothing.
template <typename Handle>
struct NullInvalidTraits {
  using Type = Handle;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type value) { return value != nullptr; }
};

// Kernel handles (files, processes, threads, events, tokens). Both null and
// INVALID_HANDLE_VALUE mean "none": CreateFileW fails with the second, most
// other functions with the first.
struct KernelHandleTraits : NullInvalidTraits<HANDLE> {
  static bool IsValid(Type value) {
    return value != nullptr && value != INVALID_HANDLE_VALUE;
  }
  static void Close(Type value) { CloseHandle(value); }
};
using ScopedKernelHandle = ScopedResource<KernelHandleTraits>;

// Handles of the service control manager and of services.
struct ServiceHandleTraits : NullInvalidTraits<SC_HANDLE> {
  static void Close(Type value) { CloseServiceHandle(value); }
};
using ScopedServiceHandle = ScopedResource<ServiceHandleTraits>;

// Memory that a system function allocated for its caller with LocalAlloc
// (access lists, security descriptors, CommandLineToArgvW's array), typed as
// the function hands it out, so that receive() fits its out-parameter.
template <typename Pointer>
struct LocalMemoryTraits : NullInvalidTraits<Pointer> {
  static void Close(Pointer value) { LocalFree(value); }
};
template <typename Pointer>
using ScopedLocalPointer = ScopedResource<LocalMemoryTraits<Pointer>>;
using ScopedLocalMemory = ScopedLocalPointer<HLOCAL>;

// A library loaded with LoadLibraryW that is to be freed again.
struct ModuleTraits : NullInvalidTraits<HMODULE> {
  static void Close(Type value) { FreeLibrary(value); }
};
using ScopedModule = ScopedResource<ModuleTraits>;

}  // namespace velk

#endif  // WIN_SCOPED_HANDLE_H_
