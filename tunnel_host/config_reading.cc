#include "tunnel_host/config_reading.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format on

#include <cwctype>
#include <functional>
#include <sstream>
#include <string_view>

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

bool KeyIs(const std::wstring& key, const wchar_t* name) {
  return _wcsicmp(key.c_str(), name) == 0;
}

bool IsAddressOf(int family, const std::wstring& item) {
  // Large enough for an IPv6 address; InetPtonW writes at most 16 bytes.
  unsigned char address[16];
  return InetPtonW(family, item.c_str(), address) == 1;
}

void AppendToList(std::wstring& list, const std::wstring& item) {
  if (!list.empty()) list += L',';
  list += item;
}

std::wstring HostOfEndpointValue(const std::wstring& raw_value) {
  const std::wstring value = TrimSpaces(raw_value);
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

void ReadDnsServers(const std::wstring& config_text, DnsServerLists& lists) {
  ForEachKeyValue(config_text,
                  [&lists](const std::wstring& key, const std::wstring& value) {
                    if (!KeyIs(key, L"DNS")) return true;
                    std::wistringstream items(value);
                    std::wstring item;
                    while (std::getline(items, item, L',')) {
                      const std::wstring address = TrimSpaces(item);
                      if (IsAddressOf(AF_INET, address)) {
                        AppendToList(lists.ipv4, address);
                      } else if (IsAddressOf(AF_INET6, address)) {
                        AppendToList(lists.ipv6, address);
                      }
                    }
                    return true;
                  });
}

}  // namespace velk
