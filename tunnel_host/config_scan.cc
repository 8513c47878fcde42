#include "tunnel_host/config_scan.h"

#include <cwctype>
#include <functional>
#include <sstream>

namespace velk {
namespace {

// Calls `visit` with the trimmed key and the raw value of every line that
// holds an "="; stops early when `visit` returns false.
void ForEachKeyValue(
    const std::wstring& config_text,
    const std::function<bool(const std::wstring& key,
                             const std::wstring& value)>& visit) {
  std::wistringstream lines(config_text);
  std::wstring line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    const size_t equals = line.find(L'=');
    if (equals == std::wstring::npos) continue;
    if (!visit(TrimSpaces(line.substr(0, equals)), line.substr(equals + 1))) {
      return;
    }
  }
}

// Only ASCII letters fold, as the Windows run-time library's case-insensitive
// comparison does in the "C" locale: a dotted capital I is no "i".
bool KeyIs(const std::wstring& key, const wchar_t* name) {
  size_t i = 0;
  for (; i < key.size() && name[i] != L'\0'; ++i) {
    wchar_t a = key[i];
    wchar_t b = name[i];
    if (a >= L'A' && a <= L'Z') a = static_cast<wchar_t>(a - L'A' + L'a');
    if (b >= L'A' && b <= L'Z') b = static_cast<wchar_t>(b - L'A' + L'a');
    if (a != b) return false;
  }
  return i == key.size() && name[i] == L'\0';
}

std::wstring HostOfEndpointValue(const std::wstring& raw_value) {
  std::wstring value = TrimSpaces(raw_value);
  if (!value.empty() && value[0] == L'[') {
    const size_t close = value.find(L']');
    if (close == std::wstring::npos) return std::wstring();
    return value.substr(1, close - 1);
  }
  const size_t colon = value.rfind(L':');
  if (colon == std::wstring::npos) return value;
  return value.substr(0, colon);
}

}  // namespace

HostKeyCounts CountHostKeys(const std::wstring& config_text) {
  HostKeyCounts counts;
  ForEachKeyValue(config_text, [&counts](const std::wstring& key,
                                         const std::wstring& /*value*/) {
    if (KeyIs(key, L"Endpoint")) ++counts.endpoint_lines;
    if (KeyIs(key, L"DNS")) ++counts.dns_lines;
    return true;
  });
  return counts;
}

std::wstring TrimSpaces(const std::wstring& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && std::iswspace(text[begin])) ++begin;
  while (end > begin && std::iswspace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::wstring ReadEndpointHost(const std::wstring& config_text) {
  std::wstring host;
  ForEachKeyValue(config_text,
                  [&host](const std::wstring& key, const std::wstring& value) {
                    if (!KeyIs(key, L"Endpoint")) return true;
                    host = HostOfEndpointValue(value);
                    return false;  // Only the first Endpoint line counts.
                  });
  return host;
}

std::vector<std::wstring> ReadDnsItems(const std::wstring& config_text) {
  std::vector<std::wstring> items;
  ForEachKeyValue(config_text,
                  [&items](const std::wstring& key, const std::wstring& value) {
                    if (!KeyIs(key, L"DNS")) return true;
                    std::wistringstream split(value);
                    std::wstring item;
                    while (std::getline(split, item, L',')) {
                      items.push_back(TrimSpaces(item));
                    }
                    return true;
                  });
  return items;
}

}  // namespace velk
