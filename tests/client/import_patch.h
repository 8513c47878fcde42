// Lets a test see the calls that the code under test makes to a system
// function that Wine accepts but cannot be asked about afterwards.

#ifndef TESTS_CLIENT_IMPORT_PATCH_H_
#define TESTS_CLIENT_IMPORT_PATCH_H_

#include <cstdint>

namespace velk_test {

// While it lives, this program's import of `function` from the loaded
// `module` calls `replacement` instead.
class ImportPatch {
 public:
  ImportPatch(const char* module, const char* function, void* replacement);
  ~ImportPatch();

  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;

  // False when the program does not import the function.
  bool active() const { return slot_ != nullptr; }

  // The function that the program imported.
  void* original() const { return original_; }

 private:
  uintptr_t* slot_ = nullptr;
  void* original_ = nullptr;
};

}  // namespace velk_test

#endif  // TESTS_CLIENT_IMPORT_PATCH_H_
