#include "win/whole_file.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "win/scoped_handle.h"

namespace velk {

bool ReadWholeFile(const std::wstring& path, std::string* bytes) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  if (!file) return false;
  std::string content((std::istreambuf_iterator<char>(file)),
                      std::istreambuf_iterator<char>());
  if (file.bad() || content.empty()) return false;
  *bytes = std::move(content);
  return true;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  if (bytes.size() > MAXDWORD) return false;
  ScopedKernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                   &written, nullptr) &&
         written == bytes.size();
}

}  // namespace velk
