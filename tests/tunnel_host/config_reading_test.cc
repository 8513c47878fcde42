#include "tunnel_host/config_reading.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format on

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using velk::DnsServerLists;
using velk::ReadDnsServers;
using velk::ReadEndpointHost;
using velk::TrimSpaces;

DnsServerLists Dns(const std::wstring& text) {
  DnsServerLists lists;
  ReadDnsServers(text, lists);
  return lists;
}

TEST(TrimSpaces, RemovesEveryKindOfOuterWhiteSpace) {
  EXPECT_EQ(TrimSpaces(L" \t\r\n\v\f a b \r"), L"a b");
  EXPECT_EQ(TrimSpaces(L" \t\r\n"), L"");
  EXPECT_EQ(TrimSpaces(L""), L"");
  EXPECT_EQ(TrimSpaces(L"x"), L"x");
}

TEST(ReadEndpointHost, FollowsTheLineBracketAndLastColonRules) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"[Peer]\nEndpoint = 192.0.2.7:51820\n", L"192.0.2.7"},
      {L"endpoint=192.0.2.7:51820", L"192.0.2.7"},
      {L"[Peer]\r\nEndpoint = 192.0.2.7:51820\r\n", L"192.0.2.7"},
      {L"\r\n\r\n  Endpoint\t=\t192.0.2.7:1\r", L"192.0.2.7"},
      {L"Endpoint = vpn.example.com:443", L"vpn.example.com"},
      {L"Endpoint = vpn.example.com", L"vpn.example.com"},
      {L"Endpoint = [2001:db8::7]:51820", L"2001:db8::7"},
      {L"Endpoint = [2001:db8::7:51820", L""},    // unclosed bracket
      {L"Endpoint = 2001:db8::7", L"2001:db8:"},  // cut as if a port
      {L"Endpoint = :51820", L""},
      {L"Endpoint = a=b:1", L"a=b"},  // only the first "=" splits
      // Only the first Endpoint line counts, even when empty; a commented
      // one does not count; sections are not known.
      {L"Endpoint =\nEndpoint = 192.0.2.7:1", L""},
      {L"#Endpoint = a:1\nEndpoint = b:2", L"b"},
      {L"# Endpoint = a:1", L""},
      {L"[Interface]\nEndpoint = c:3\n[Peer]\nEndpoint = d:4", L"c"},
      {L"[Peer]\nPublicKey = x=\n", L""},
  };
  for (const auto& [config, host] : cases) {
    EXPECT_EQ(ReadEndpointHost(config), host) << config;
  }
}

// Addresses sorted by family in their order and written form; whatever is
// not one address is dropped.
TEST(ReadDnsServers, KeepsOneAddressPerItemByFamily) {
  struct Case {
    const wchar_t* config;
    const wchar_t* ipv4;
    const wchar_t* ipv6;
  };
  const Case cases[] = {
      {L"DNS = 192.0.2.53, 2001:db8::53, 198.51.100.53",
       L"192.0.2.53,198.51.100.53", L"2001:db8::53"},
      {L"DNS = 10.0.0.1\r\n[Peer]\r\ndns=10.0.0.2\r\nDNS = 10.0.0.1",
       L"10.0.0.1,10.0.0.2,10.0.0.1", L""},
      {L"DNS = 2001:DB8:0:0::1", L"", L"2001:DB8:0:0::1"},  // not normalised
      {L"DNS = 10.0.0.1, corp.example", L"10.0.0.1", L""},
      {L"DNS = 10.0.0.1 # office, 10.0.0.2", L"10.0.0.2", L""},
      {L"DNS = 10.0.0.1 10.0.0.2", L"", L""},
      {L"DNS = ,, 10.0.0.3,,\n#DNS = 10.0.0.4\nDNS-Servers = 10.0.0.5",
       L"10.0.0.3", L""},
      {L"DNS = 256.0.0.1, 2001:db8::1::2, [2001:db8::1]", L"", L""},
  };
  for (const Case& test : cases) {
    const DnsServerLists lists = Dns(test.config);
    EXPECT_EQ(lists.ipv4, test.ipv4) << test.config;
    EXPECT_EQ(lists.ipv6, test.ipv6) << test.config;
  }
}

// Random configurations built from the pieces real files are made of, plus
// noise. Whatever the text, the readers must not fail, every listed server
// must be one valid address of its list's family, and the endpoint's host
// must never carry the port.
TEST(ConfigReadingProperty, RandomConfigurationsKeepTheInvariants) {
  const std::vector<std::wstring> keys = {
      L"DNS",        L"dns", L" DNS ",      L"#DNS", L"Address",
      L"PrivateKey", L"MTU", L"AllowedIPs", L"Jc",   L"H1",
      L"",           L"=",   L"D NS",       L"DNS\t"};
  const std::vector<std::wstring> items = {L"10.0.0.1",
                                           L"192.0.2.53",
                                           L"2001:db8::53",
                                           L"::1",
                                           L"fe80::1%3",
                                           L"1.2.3",
                                           L"1.2.3.4.5",
                                           L"example.com",
                                           L"",
                                           L" ",
                                           L"\r",
                                           L"10.0.0.1 # x",
                                           L"::ffff:10.0.0.1",
                                           L"[::1]",
                                           L"=",
                                           L"\x0416\x0436",
                                           L"255.255.255.255",
                                           L"2001:db8::1::2",
                                           L"0x7f.1"};
  const std::vector<std::wstring> hosts = {
      L"192.0.2.7", L"vpn.example.com", L"[2001:db8::7]", L"[::1]",
      L"h",         L"\x0436.example"};
  std::mt19937 random(20261207);
  auto pick = [&random](const std::vector<std::wstring>& from) {
    return from[std::uniform_int_distribution<size_t>(0,
                                                      from.size() - 1)(random)];
  };

  for (int round = 0; round < 400; ++round) {
    std::wostringstream text;
    const int lines = std::uniform_int_distribution<int>(0, 12)(random);
    const int endpoint_line = std::uniform_int_distribution<int>(0, 12)(random);
    std::wstring expected_host;
    std::wstring port;
    for (int line = 0; line <= lines; ++line) {
      if (line == endpoint_line) {
        const std::wstring host = pick(hosts);
        port = std::to_wstring(
            std::uniform_int_distribution<int>(1, 65535)(random));
        expected_host =
            host[0] == L'[' ? host.substr(1, host.size() - 2) : host;
        text << L"Endpoint = " << host << L":" << port << L"\r\n";
        continue;
      }
      text << pick(keys) << L"=";
      const int count = std::uniform_int_distribution<int>(0, 5)(random);
      for (int i = 0; i < count; ++i) {
        text << pick(items);
        if (std::uniform_int_distribution<int>(0, 3)(random) != 0) text << L",";
        if (std::uniform_int_distribution<int>(0, 1)(random) != 0) text << L" ";
      }
      text << (line % 2 == 0 ? L"\n" : L"\r\n");
    }

    const std::wstring config = text.str();
    SCOPED_TRACE(testing::Message() << "round " << round);
    const DnsServerLists lists = Dns(config);
    for (const auto& [list, family] :
         {std::pair{lists.ipv4, AF_INET}, std::pair{lists.ipv6, AF_INET6}}) {
      if (list.empty()) continue;
      std::wistringstream split(list + L",");
      std::wstring item;
      while (std::getline(split, item, L',')) {
        unsigned char address[16];
        EXPECT_FALSE(item.empty());
        EXPECT_EQ(InetPtonW(family, item.c_str(), address), 1);
        if (family == AF_INET6) {
          EXPECT_NE(InetPtonW(AF_INET, item.c_str(), address), 1);
        }
      }
    }

    const std::wstring host = ReadEndpointHost(config);
    if (endpoint_line <= lines) {
      EXPECT_EQ(host, expected_host);
      if (expected_host.find(L':') == std::wstring::npos) {
        EXPECT_EQ(host.find(L':'), std::wstring::npos);
      }
    } else {
      EXPECT_EQ(host, L"");
    }
  }
}

}  // namespace
