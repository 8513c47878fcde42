#include "win/program_path.h"

#include <windows.h>

#include <vector>

namespace velk {

std::wstring GetProgramPath() {
  // Paths longer than MAX_PATH exist; a truncated one would name another
  // folder, so grow the buffer until the whole path fits.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(),
                                            static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::wstring();
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    if (buffer.size() >= 32768) return std::wstring();
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring GetProgramFolder() {
  const std::wstring program = GetProgramPath();
  const size_t separator = program.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return std::wstring();
  return program.substr(0, separator);
}

}  // namespace velk
