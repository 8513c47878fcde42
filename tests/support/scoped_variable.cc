#include "tests/support/scoped_variable.h"

#include <windows.h>

namespace velk::test {

std::optional<std::wstring> EnvironmentVariable(const wchar_t* name) {
  // The size asked for includes the terminator; a set but empty variable
  // needs one.
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  if (length >= size) return std::nullopt;  // changed in between
  value.resize(length);
  return value;
}

ScopedVariable::ScopedVariable(const wchar_t* name, const wchar_t* value)
    : name_(name), old_value_(EnvironmentVariable(name)) {
  (void)SetEnvironmentVariableW(name, value);
}

ScopedVariable::~ScopedVariable() {
  (void)SetEnvironmentVariableW(name_.c_str(),
                                old_value_ ? old_value_->c_str() : nullptr);
}

}  // namespace velk::test
