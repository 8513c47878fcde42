#include "tests/client/import_patch.h"

#include <windows.h>

namespace velk_test {
namespace {

void Write(uintptr_t* slot, uintptr_t value) {
  DWORD protection = 0;
  if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection)) {
    return;
  }
  *slot = value;
  (void)VirtualProtect(slot, sizeof(*slot), protection, &protection);
}

// The import address table slot of this program that holds `function`.
uintptr_t* FindImportSlot(void* function) {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* headers =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return nullptr;
  for (auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(
           base + imports.VirtualAddress);
       descriptor->Name != 0; ++descriptor) {
    for (auto* thunk =
             reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
         thunk->u1.Function != 0; ++thunk) {
      if (thunk->u1.Function == reinterpret_cast<uintptr_t>(function)) {
        return reinterpret_cast<uintptr_t*>(&thunk->u1.Function);
      }
    }
  }
  return nullptr;
}

}  // namespace

ImportPatch::ImportPatch(const char* module, const char* function,
                         void* replacement) {
  HMODULE exporter = GetModuleHandleA(module);
  if (exporter == nullptr) return;
  original_ = reinterpret_cast<void*>(GetProcAddress(exporter, function));
  if (original_ == nullptr) return;
  slot_ = FindImportSlot(original_);
  if (slot_ != nullptr) Write(slot_, reinterpret_cast<uintptr_t>(replacement));
}

ImportPatch::~ImportPatch() {
  if (slot_ != nullptr) Write(slot_, reinterpret_cast<uintptr_t>(original_));
}

}  // namespace velk_test
