// An environment variable of the test's process, and so of the programs it
// starts, changed for a while.

#ifndef TESTS_SUPPORT_SCOPED_VARIABLE_H_
#define TESTS_SUPPORT_SCOPED_VARIABLE_H_

#include <optional>
#include <string>

namespace velk::test {

// The variable's value; none when it is not set.
std::optional<std::wstring> EnvironmentVariable(const wchar_t* name);

// Sets `name` to `value` (removes it when `value` is null) for as long as
// this lives, then puts back what was there, or removes it again.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const wchar_t* value);
  ~ScopedVariable();

  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  std::wstring name_;
  std::optional<std::wstring> old_value_;
};

}  // namespace velk::test

#endif  // TESTS_SUPPORT_SCOPED_VARIABLE_H_
