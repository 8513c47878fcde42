#include "client/provisioning/tunnel_config.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace velk {
namespace {

// Bytes 00 01 02 ... 1f, written both ways.
constexpr char kKeyAHex[] =
    "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
constexpr char kKeyABase64[] = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=";
// Bytes e0 e1 ... ff.
constexpr char kKeyBHexUpper[] =
    "E0E1E2E3E4E5E6E7E8E9EAEBECEDEEEFF0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF";
constexpr char kKeyBBase64[] = "4OHi4+Tl5ufo6err7O3u7/Dx8vP09fb3+Pn6+/z9/v8=";

constexpr char kPrivateKeyMessage[] = "Некорректный PrivateKey в конфигурации";
constexpr char kPublicKeyMessage[] = "Некорректный PublicKey в конфигурации";
constexpr char kEndpointMessage[] = "В конфигурации не указан Endpoint";

std::vector<uint8_t> KeyA() {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 32; ++i) bytes.push_back(static_cast<uint8_t>(i));
  return bytes;
}

std::string ValidSettings() {
  return std::string("private_key=") + kKeyABase64 +
         "\npublic_key=" + kKeyBBase64 + "\nendpoint=vpn.example.net:51820\n";
}

// Builds and expects success; the text, or empty after a failed expectation.
std::string Build(const std::string& settings, const std::string& address = "",
                  const std::string& dns = "", int32_t mtu = 1420) {
  std::string config;
  std::string message;
  EXPECT_TRUE(BuildTunnelConfig(settings, address, dns, mtu, &config, &message))
      << message;
  return config;
}

std::string LineOf(const std::string& config, int number) {
  size_t start = 0;
  for (int i = 1; i < number; ++i) start = config.find('\n', start) + 1;
  return config.substr(start, config.find('\n', start) - start);
}

TEST(TunnelSettingsParsing, SplitsLinesAtTheFirstEqualsSignOnly) {
  const TunnelSettings settings = ParseTunnelSettings(
      "a=1\r\n\r\nno equals sign\nb = 2\nc=x=y\na=3\nlast=final");
  const std::map<std::string, std::string> expected = {
      {"a", "3"}, {"b ", " 2"}, {"c", "x=y"}, {"last", "final"}};
  EXPECT_EQ(settings.values, expected);
  EXPECT_TRUE(settings.allowed_ips.empty());
}

TEST(TunnelSettingsParsing, KeepsAllowedIpLinesInOrderWithDuplicates) {
  const TunnelSettings settings = ParseTunnelSettings(
      "allowed_ip=10.0.0.0/8\nallowed_ip=\nALLOWED_IP=x\nallowed_ip=10.0.0.0/"
      "8\n");
  EXPECT_EQ(settings.allowed_ips,
            (std::vector<std::string>{"10.0.0.0/8", "", "10.0.0.0/8"}));
  EXPECT_EQ(settings.values.count("ALLOWED_IP"), 1u);
}

TEST(TunnelKeyDecoding, AcceptsHexadecimalInAnyLetterCase) {
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(DecodeTunnelKey(kKeyAHex, &bytes));
  EXPECT_EQ(bytes, KeyA());

  std::string mixed = kKeyBHexUpper;
  for (size_t i = 0; i < mixed.size(); i += 3)
    mixed[i] = std::tolower(mixed[i]);
  std::vector<uint8_t> from_mixed;
  std::vector<uint8_t> from_base64;
  ASSERT_TRUE(DecodeTunnelKey(mixed, &from_mixed));
  ASSERT_TRUE(DecodeTunnelKey(kKeyBBase64, &from_base64));
  EXPECT_EQ(from_mixed, from_base64);
  EXPECT_EQ(from_mixed[0], 0xe0);
  EXPECT_EQ(from_mixed[31], 0xff);
}

TEST(TunnelKeyDecoding, DropsBlanksAndLineBreaksAnywhere) {
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(DecodeTunnelKey(
      " AAECAwQFBgcICQoL\tDA0ODxAREhMU\r\nFRYXGBkaGxwdHh8= ", &bytes));
  EXPECT_EQ(bytes, KeyA());
  bytes.clear();
  ASSERT_TRUE(DecodeTunnelKey(std::string(" ") + kKeyAHex + "\t", &bytes));
  EXPECT_EQ(bytes, KeyA());
}

TEST(TunnelKeyDecoding, RejectsWrongSizesAndLeavesTheOutputUntouched) {
  const std::vector<uint8_t> untouched = {7, 7, 7};
  const std::string hex = kKeyAHex;
  for (const std::string& text : {
           std::string(),
           std::string(" \t\r\n"),
           hex.substr(0, 63),  // 63 digits
           hex + "a",          // 65 digits
           std::string("AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=="),  // 31
           std::string("AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"),  // 33
           hex.substr(0, 62) + "g0",  // a non-hex digit, not Base64 either
           std::string(kKeyABase64).replace(10, 1, "!"),
       }) {
    std::vector<uint8_t> bytes = untouched;
    EXPECT_FALSE(DecodeTunnelKey(text, &bytes)) << '"' << text << '"';
    EXPECT_EQ(bytes, untouched);
  }
}

TEST(TunnelKeyEncoding, WritesOneLineOfStandardBase64) {
  EXPECT_EQ(EncodeTunnelKey(KeyA()), kKeyABase64);
  EXPECT_EQ(EncodeTunnelKey({}), "");
}

TEST(TunnelConfigBuilding, WritesTheTwentyLinesExactly) {
  const std::string settings =
      std::string("# exported by the app\r\n") + "private_key=" + kKeyAHex +
      "\r\npublic_key=" + kKeyBBase64 +
      "\r\nendpoint=203.0.113.7:51820\r\nallowed_ip=10.0.0.0/8\r\n"
      "allowed_ip=192.168.0.0/16\r\npersistent_keepalive_interval=15\r\n"
      "jc=7\r\njmin=20\r\njmax=70\r\ns1=15\r\ns2=68\r\nh1=1234\r\nh2=5678\r\n"
      "h3=91011\r\nh4=121314\r\nunknown=ignored\r\n";
  const std::string expected =
      "[Interface]\n"
      "PrivateKey = AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=\n"
      "Address = 10.8.0.2/32\n"
      "DNS = 1.1.1.1, 8.8.8.8\n"
      "MTU = 1350\n"
      "Jc = 7\n"
      "Jmin = 20\n"
      "Jmax = 70\n"
      "S1 = 15\n"
      "S2 = 68\n"
      "H1 = 1234\n"
      "H2 = 5678\n"
      "H3 = 91011\n"
      "H4 = 121314\n"
      "\n"
      "[Peer]\n"
      "PublicKey = 4OHi4+Tl5ufo6err7O3u7/Dx8vP09fb3+Pn6+/z9/v8=\n"
      "AllowedIPs = 10.0.0.0/8,192.168.0.0/16\n"
      "Endpoint = 203.0.113.7:51820\n"
      "PersistentKeepalive = 15\n";
  EXPECT_EQ(Build(settings, "10.8.0.2/32", "1.1.1.1, 8.8.8.8", 1350), expected);
  // CRLF and LF line ends read the same.
  std::string lf_settings = settings;
  for (size_t at; (at = lf_settings.find('\r')) != std::string::npos;) {
    lf_settings.erase(at, 1);
  }
  EXPECT_EQ(Build(lf_settings, "10.8.0.2/32", "1.1.1.1, 8.8.8.8", 1350),
            expected);
}

TEST(TunnelConfigBuilding, FillsDefaultsOnlyForAbsentKeys) {
  const std::string config = Build(ValidSettings(), "", "", -1);
  EXPECT_EQ(LineOf(config, 3), "Address = ");
  EXPECT_EQ(LineOf(config, 4), "DNS = ");
  EXPECT_EQ(LineOf(config, 5), "MTU = -1");
  EXPECT_EQ(LineOf(config, 6), "Jc = 4");
  EXPECT_EQ(LineOf(config, 10), "S2 = 146");
  EXPECT_EQ(LineOf(config, 14), "H4 = 4");
  EXPECT_EQ(LineOf(config, 18), "AllowedIPs = 0.0.0.0/0");
  EXPECT_EQ(LineOf(config, 20), "PersistentKeepalive = 25");

  // Present but empty stays empty; spaces around "=" change key and value.
  const std::string spaced =
      Build(ValidSettings() + "jc = 9\njmin= 5\ns1=\nh2=\n");
  EXPECT_EQ(LineOf(spaced, 6), "Jc = 4");
  EXPECT_EQ(LineOf(spaced, 7), "Jmin =  5");
  EXPECT_EQ(LineOf(spaced, 9), "S1 = ");
  EXPECT_EQ(LineOf(spaced, 12), "H2 = ");
  EXPECT_EQ(LineOf(Build(ValidSettings(), "", "", -2147483647 - 1), 5),
            "MTU = -2147483648");
}

TEST(TunnelConfigBuilding, JoinsAllowedIpsWithoutSpaces) {
  EXPECT_EQ(LineOf(Build(ValidSettings() + "allowed_ip=\n"), 18),
            "AllowedIPs = 0.0.0.0/0");
  EXPECT_EQ(LineOf(Build(ValidSettings() + "allowed_ip=\nallowed_ip=\n"), 18),
            "AllowedIPs = ,");
  EXPECT_EQ(LineOf(Build(ValidSettings() + "allowed_ip=a\nallowed_ip=a\n"), 18),
            "AllowedIPs = a,a");
}

TEST(TunnelConfigBuilding, LaterKeyLinesWin) {
  const std::string config =
      Build(std::string("private_key=") + kKeyBBase64 + "\n" + ValidSettings() +
            "endpoint=second:1\n");
  EXPECT_EQ(LineOf(config, 2), std::string("PrivateKey = ") + kKeyABase64);
  EXPECT_EQ(LineOf(config, 19), "Endpoint = second:1");
}

TEST(TunnelConfigBuilding, ReportsTheFirstFailingCheckAndBuildsNothing) {
  struct Case {
    std::string settings;
    const char* message;
  };
  const std::string a = kKeyABase64;
  const Case cases[] = {
      {"", kPrivateKeyMessage},
      {"public_key=" + a + "\nendpoint=e:1", kPrivateKeyMessage},
      {"private_key=" + a, kPublicKeyMessage},
      {"private_key=" + a + "\npublic_key=AAAA\nendpoint=", kPublicKeyMessage},
      {"private_key=" + a + "\npublic_key=" + a, kEndpointMessage},
      {"private_key=" + a + "\npublic_key=" + a + "\nendpoint=",
       kEndpointMessage},
      {"private_key=" + a + "\npublic_key=" + a + "\nendpoint=\r",
       kEndpointMessage},
  };
  for (const Case& c : cases) {
    std::string config = "unchanged";
    std::string message;
    EXPECT_FALSE(BuildTunnelConfig(c.settings, "a", "d", 1, &config, &message))
        << c.settings;
    EXPECT_EQ(message, c.message) << c.settings;
    EXPECT_EQ(config, "unchanged");
  }
  std::string config;
  std::string message = "unchanged";
  EXPECT_TRUE(
      BuildTunnelConfig(ValidSettings(), "a", "d", 1, &config, &message));
  EXPECT_EQ(message, "unchanged");
}

// Thousands of generated settings texts: the builder never crashes and gives
// either exactly twenty LF-terminated lines in their fixed order or one of
// the three messages.
TEST(TunnelConfigBuilding, AnySettingsTextGivesTwentyLinesOrAMessage) {
  const std::vector<std::string> keys = {"private_key",
                                         "public_key",
                                         "endpoint",
                                         "allowed_ip",
                                         "jc",
                                         "jmin",
                                         "jmax",
                                         "s1",
                                         "s2",
                                         "h1",
                                         "h2",
                                         "h3",
                                         "h4",
                                         "persistent_keepalive_interval",
                                         "other",
                                         "private_key ",
                                         ""};
  const std::vector<std::string> key_values = {
      kKeyABase64,
      kKeyAHex,
      kKeyBHexUpper,
      kKeyBBase64,
      "AAAA",
      "",
      std::string(kKeyAHex).substr(1),
      " AAECAwQFBgcICQoLDA0ODxAREhMU FRYXGBkaGxwdHh8="};
  const std::vector<std::string> prefixes = {"[Interface]",
                                             "PrivateKey = ",
                                             "Address = ",
                                             "DNS = ",
                                             "MTU = ",
                                             "Jc = ",
                                             "Jmin = ",
                                             "Jmax = ",
                                             "S1 = ",
                                             "S2 = ",
                                             "H1 = ",
                                             "H2 = ",
                                             "H3 = ",
                                             "H4 = ",
                                             "",
                                             "[Peer]",
                                             "PublicKey = ",
                                             "AllowedIPs = ",
                                             "Endpoint = ",
                                             "PersistentKeepalive = "};
  const std::set<std::string> messages = {kPrivateKeyMessage, kPublicKeyMessage,
                                          kEndpointMessage};
  std::mt19937 random(20261207);
  auto pick = [&random](size_t count) {
    return std::uniform_int_distribution<size_t>(0, count - 1)(random);
  };
  int built = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string settings;
    const size_t lines = pick(12);
    for (size_t i = 0; i < lines; ++i) {
      const std::string& key = keys[pick(keys.size())];
      std::string value;
      if (pick(2) == 0) {
        value = key_values[pick(key_values.size())];
      } else {
        for (size_t n = pick(12); n > 0; --n) {
          value.push_back(static_cast<char>(pick(256)));
        }
      }
      settings += key + (pick(8) == 0 ? "" : "=") + value +
                  (pick(3) == 0 ? "\r\n" : "\n");
    }
    if (pick(2) == 0) settings = ValidSettings() + settings;

    std::string config;
    std::string message;
    if (!BuildTunnelConfig(settings, "10.0.0.2/32", "1.1.1.1",
                           static_cast<int32_t>(random()), &config, &message)) {
      EXPECT_EQ(messages.count(message), 1u) << settings;
      EXPECT_TRUE(config.empty());
      continue;
    }
    ++built;
    ASSERT_FALSE(config.empty());
    ASSERT_EQ(config.back(), '\n');
    size_t start = 0;
    int line = 0;
    for (size_t end; (end = config.find('\n', start)) != std::string::npos;
         start = end + 1, ++line) {
      ASSERT_LT(line, 20) << config;
      const std::string text = config.substr(start, end - start);
      EXPECT_EQ(text.compare(0, prefixes[line].size(), prefixes[line]), 0)
          << "line " << line + 1 << ": " << text;
      if (prefixes[line].empty() || prefixes[line][0] == '[') {
        EXPECT_EQ(text, prefixes[line]);
      }
    }
    EXPECT_EQ(line, 20);
    EXPECT_EQ(LineOf(config, 2).size(), 13u + 44u);
  }
  // The generator must reach both outcomes, or the test proves little.
  EXPECT_GT(built, 500);
  EXPECT_LT(built, 3500);
}

}  // namespace
}  // namespace velk
