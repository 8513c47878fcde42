#include "win/text.h"

#include <windows.h>

#include <climits>

namespace velk {

std::string Utf16ToUtf8(const wchar_t* text) {
  return text == nullptr ? std::string() : Utf16ToUtf8(std::wstring_view(text));
}

std::string Utf16ToUtf8(std::wstring_view text) {
  if (text.empty() || text.size() > INT_MAX) return std::string();
  const int source_length = static_cast<int>(text.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(),
                          source_length, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string result(static_cast<size_t>(length), '\0');
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(),
                          source_length, result.data(), length, nullptr,
                          nullptr) != length) {
    return std::string();
  }
  return result;
}

std::wstring Utf8ToUtf16(std::string_view text) {
  if (text.empty() || text.size() > INT_MAX) return std::wstring();
  const int source_length = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(
      CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), source_length, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring result(static_cast<size_t>(length), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                          source_length, result.data(), length) != length) {
    return std::wstring();
  }
  return result;
}

}  // namespace velk
