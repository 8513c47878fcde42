// The host's scan of the stored configuration text, which it reads as
// LocalSystem from a file that users may write: no crash, no read out of
// bounds, and results that can only have come from the text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tunnel_host/config_scan.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "host configuration scan: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The host scans UTF-16 text converted from the file's UTF-8; any sequence
  // of 16-bit code units covers whatever that conversion can give.
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2) {
    text.push_back(static_cast<wchar_t>(data[i] | data[i + 1] << 8));
  }

  const velk::HostKeyCounts counts = velk::CountHostKeys(text);
  const std::wstring host = velk::ReadEndpointHost(text);
  if (counts.endpoint_lines == 0 && !host.empty()) {
    Fail("an endpoint host without an Endpoint line");
  }
  if (text.find(host) == std::wstring::npos) {
    Fail("an endpoint host that is not in the text");
  }

  const std::vector<std::wstring> items = velk::ReadDnsItems(text);
  if (counts.dns_lines == 0 && !items.empty()) {
    Fail("DNS items without a DNS line");
  }
  for (const std::wstring& item : items) {
    if (item.find(L',') != std::wstring::npos) Fail("a DNS item with a comma");
    if (velk::TrimSpaces(item) != item) Fail("an untrimmed DNS item");
    if (text.find(item) == std::wstring::npos) {
      Fail("a DNS item that is not in the text");
    }
  }
  return 0;
}
