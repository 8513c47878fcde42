#include "tunnel_host/config_file.h"

#include <windows.h>

#include <vector>

#include "win/scoped_handle.h"

namespace velk {
namespace {

bool ReadAllBytes(const std::wstring& path, std::vector<char>* bytes) {
  // Shared for reading and writing: the client may be rewriting the file.
  ScopedKernelHandle file(CreateFileW(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.is_valid()) return false;
  char chunk[4096];
  DWORD read = 0;
  for (;;) {
    // A read that fails part-way must not hand the tunnel half a
    // configuration: the file counts as unreadable.
    if (!ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr)) {
      return false;
    }
    if (read == 0) return true;
    bytes->insert(bytes->end(), chunk, chunk + read);
  }
}

}  // namespace

bool LoadConfigText(const std::wstring& path, std::wstring& text) {
  std::vector<char> bytes;
  if (!ReadAllBytes(path, &bytes) || bytes.empty()) return false;
  // The conversion runs to the first NUL byte; file bytes need not carry
  // one, so one is added to keep it inside the buffer.
  bytes.push_back('\0');
  const int needed =
      MultiByteToWideChar(CP_UTF8, 0, bytes.data(), -1, nullptr, 0);
  if (needed < 1) return false;
  std::wstring converted(static_cast<size_t>(needed), L'\0');
  if (MultiByteToWideChar(CP_UTF8, 0, bytes.data(), -1, converted.data(),
                          needed) != needed) {
    return false;
  }
  converted.resize(static_cast<size_t>(needed) - 1);  // The terminating NUL.
  text = std::move(converted);
  return true;
}

}  // namespace velk
