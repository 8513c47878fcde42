#include "client/provisioning/tunnel_config.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

namespace velk {
namespace {

// Key A is the bytes 00 01 ... 1f, key B the bytes e0 e1 ... ff.
constexpr char kKeyAHex[] =
    "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
constexpr char kKeyABase64[] = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=";
constexpr char kKeyBHexMixed[] =
    "E0e1E2e3E4e5E6e7E8e9EaEbEcEdEeEfF0f1F2f3F4f5F6f7F8f9FaFbFcFdFeFf";
constexpr char kKeyBBase64[] = "4OHi4+Tl5ufo6err7O3u7/Dx8vP09fb3+Pn6+/z9/v8=";

constexpr char kPrivateKeyMessage[] = "Некорректный PrivateKey в конфигурации";
constexpr char kPublicKeyMessage[] = "Некорректный PublicKey в конфигурации";
constexpr char kEndpointMessage[] = "В конфигурации не указан Endpoint";

const std::string kKeys = std::string("private_key=") + kKeyABase64 +
                          "\npublic_key=" + kKeyBBase64 + "\nendpoint=e:1\n";

std::string Build(const std::string& settings, int32_t mtu = 1420) {
  std::string config;
  std::string message;
  EXPECT_TRUE(BuildTunnelConfig(settings, "", "", mtu, &config, &message))
      << message;
  return config;
}

std::string LineOf(const std::string& config, int number) {
  size_t start = 0;
  for (int i = 1; i < number; ++i) start = config.find('\n', start) + 1;
  return config.substr(start, config.find('\n', start) - start);
}

TEST(TunnelConfig, WritesTheTwentyLinesExactly) {
  // CRLF line ends, a key in mixed-case hexadecimal, comments and unknown
  // keys, repeated keys (the later wins) and two allowed_ip lines.
  const std::string settings =
      std::string("# exported\r\nprivate_key=") + kKeyBBase64 +
      "\r\nprivate_key=" + kKeyAHex + "\r\npublic_key=" + kKeyBHexMixed +
      "\r\nendpoint=old:1\r\nendpoint=203.0.113.7:51820\r\n"
      "allowed_ip=10.0.0.0/8\r\nallowed_ip=192.168.0.0/16\r\n"
      "persistent_keepalive_interval=15\r\njc=7\r\njmin=20\r\njmax=70\r\n"
      "s1=15\r\ns2=68\r\nh1=1234\r\nh2=5678\r\nh3=91011\r\nh4=121314\r\n"
      "unknown=x";
  std::string config;
  std::string message = "untouched";
  ASSERT_TRUE(BuildTunnelConfig(settings, "10.8.0.2/32", "1.1.1.1, 8.8.8.8",
                                1350, &config, &message));
  EXPECT_EQ(message, "untouched");
  EXPECT_EQ(config,
            "[Interface]\n"
            "PrivateKey = AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=\n"
            "Address = 10.8.0.2/32\n"
            "DNS = 1.1.1.1, 8.8.8.8\n"
            "MTU = 1350\n"
            "Jc = 7\nJmin = 20\nJmax = 70\nS1 = 15\nS2 = 68\n"
            "H1 = 1234\nH2 = 5678\nH3 = 91011\nH4 = 121314\n"
            "\n"
            "[Peer]\n"
            "PublicKey = 4OHi4+Tl5ufo6err7O3u7/Dx8vP09fb3+Pn6+/z9/v8=\n"
            "AllowedIPs = 10.0.0.0/8,192.168.0.0/16\n"
            "Endpoint = 203.0.113.7:51820\n"
            "PersistentKeepalive = 15\n");
}

TEST(TunnelConfig, DefaultsOnlyForAbsentKeysAndValuesAsTheyStand) {
  const std::string plain = Build(kKeys, -1);
  EXPECT_EQ(LineOf(plain, 3), "Address = ");
  EXPECT_EQ(LineOf(plain, 5), "MTU = -1");
  EXPECT_EQ(LineOf(plain, 6), "Jc = 4");
  EXPECT_EQ(LineOf(plain, 10), "S2 = 146");
  EXPECT_EQ(LineOf(plain, 18), "AllowedIPs = 0.0.0.0/0");
  EXPECT_EQ(LineOf(plain, 20), "PersistentKeepalive = 25");
  EXPECT_EQ(LineOf(Build(kKeys, -2147483647 - 1), 5), "MTU = -2147483648");

  // "jc = 9" has the key "jc ": ignored. "jmin= 5" keeps its space.
  const std::string spaced = Build(kKeys + "jc = 9\njmin= 5\ns1=\nh2=a=b\n");
  EXPECT_EQ(LineOf(spaced, 6), "Jc = 4");
  EXPECT_EQ(LineOf(spaced, 7), "Jmin =  5");
  EXPECT_EQ(LineOf(spaced, 9), "S1 = ");
  EXPECT_EQ(LineOf(spaced, 12), "H2 = a=b");

  EXPECT_EQ(LineOf(Build(kKeys + "allowed_ip=\n"), 18),
            "AllowedIPs = 0.0.0.0/0");
  EXPECT_EQ(LineOf(Build(kKeys + "allowed_ip=\nallowed_ip=\n"), 18),
            "AllowedIPs = ,");
  EXPECT_EQ(LineOf(Build(kKeys + "allowed_ip=a\nallowed_ip=a\n"), 18),
            "AllowedIPs = a,a");
}

TEST(TunnelConfig, KeysAreHexadecimalOrBase64Of32Bytes) {
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(DecodeTunnelKey(
      " AAECAwQFBgcICQoL\tDA0ODxAREhMU\r\nFRYXGBkaGxwdHh8=", &bytes));
  EXPECT_EQ(EncodeTunnelKey(bytes), kKeyABase64);
  EXPECT_EQ(EncodeTunnelKey({}), "");

  const std::string hex = kKeyAHex;
  for (const std::string& rejected :
       {std::string(), std::string(" \t\r\n"), hex.substr(0, 63),
        hex + "a",                    // tried as Base64, and not it
        std::string(42, 'A') + "==",  // 31 bytes
        std::string(44, 'A'),         // 33 bytes
        hex.substr(0, 63) + "g",
        std::string(kKeyABase64).replace(10, 1, "!")}) {
    std::vector<uint8_t> untouched = {7};
    EXPECT_FALSE(DecodeTunnelKey(rejected, &untouched)) << rejected;
    EXPECT_EQ(untouched, std::vector<uint8_t>{7});
  }
}

TEST(TunnelConfig, FirstFailingCheckDecidesTheMessage) {
  const std::string a = std::string("=") + kKeyABase64;
  const std::string keys = "private_key" + a + "\npublic_key" + a;
  const std::string long_value(4097, '1');
  struct Case {
    std::string settings;
    std::string address = "a";
    std::string dns = "d";
    std::string message;
  };
  const Case cases[] = {
      {"", "a", "d", kPrivateKeyMessage},
      {"public_key" + a + "\nendpoint=e:1", "a", "d", kPrivateKeyMessage},
      {"private_key" + a, "a", "d", kPublicKeyMessage},
      {"private_key" + a + "\npublic_key=AAAA\nendpoint=", "a", "d",
       kPublicKeyMessage},
      {keys, "a", "d", kEndpointMessage},
      {keys + "\nendpoint=\r", "a", "d", kEndpointMessage},
      // A value may not add lines to the text, nor end it early, whichever
      // field it is in; the first such field in the text decides.
      {keys + "\nendpoint=e:1", "a\nEndpoint = 198.51.100.1:1\n", "d",
       "Недопустимый символ в поле Address конфигурации"},
      {keys + "\nendpoint=e:1\njc=1\r2", "a", "1.1.1.1\r[Peer]",
       "Недопустимый символ в поле DNS конфигурации"},
      {keys + "\nendpoint=e:1\njc=1\r2", "a", "d",
       "Недопустимый символ в поле Jc конфигурации"},
      {keys + "\nendpoint=e:1\nallowed_ip=10.0.0.0/8\nallowed_ip=1\r\r", "a",
       "d", "Недопустимый символ в поле AllowedIPs конфигурации"},
      {keys + "\nendpoint=e:1" + std::string("\0x", 2), "a", "d",
       "Недопустимый символ в поле Endpoint конфигурации"},
      {keys + "\nendpoint=e:1\npersistent_keepalive_interval=2\r5", "a", "d",
       "Недопустимый символ в поле PersistentKeepalive конфигурации"},
      {keys + "\nendpoint=e:1", "a", long_value,
       "Слишком длинное значение поля DNS конфигурации"},
      {keys + "\nendpoint=e:1\nallowed_ip=" + long_value, "a", "d",
       "Слишком длинное значение поля AllowedIPs конфигурации"},
      {keys + "\nendpoint=" + long_value, "a", "d",
       "Слишком длинное значение поля Endpoint конфигурации"},
      // Too long as a whole is refused before anything is read.
      {std::string(32769, '#'), "a", "d", "Слишком длинный текст конфигурации"},
  };
  for (const Case& test_case : cases) {
    std::string config = "untouched";
    std::string message;
    EXPECT_FALSE(BuildTunnelConfig(test_case.settings, test_case.address,
                                   test_case.dns, 1, &config, &message));
    EXPECT_EQ(message, test_case.message) << test_case.settings;
    EXPECT_EQ(config, "untouched");
  }
  // The bounds themselves still build.
  const std::string longest = kKeys + "h1=" + std::string(4096, '9') + "\n";
  std::string config;
  std::string message;
  EXPECT_TRUE(
      BuildTunnelConfig(longest + std::string(32768 - longest.size(), '#'),
                        std::string(4096, 'a'), "", 1, &config, &message))
      << message;
}

// Generated settings texts: never a crash, and always either twenty
// LF-terminated lines in their fixed order or a message.
TEST(TunnelConfig, AnySettingsTextGivesTwentyLinesOrAMessage) {
  const std::vector<std::string> keys = {"private_key",
                                         "public_key",
                                         "endpoint",
                                         "allowed_ip",
                                         "jc",
                                         "h4",
                                         "persistent_keepalive_interval",
                                         "other",
                                         "private_key ",
                                         ""};
  const std::vector<std::string> key_texts = {kKeyABase64, kKeyAHex,
                                              kKeyBHexMixed, "AAAA", ""};
  const char* const prefixes[] = {"[Interface]\n",
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
                                  "\n",
                                  "[Peer]\n",
                                  "PublicKey = ",
                                  "AllowedIPs = ",
                                  "Endpoint = ",
                                  "PersistentKeepalive = "};
  const std::set<std::string> messages = {kPrivateKeyMessage, kPublicKeyMessage,
                                          kEndpointMessage};
  std::mt19937 random(20261207);
  auto pick = [&random](size_t count) { return random() % count; };
  int built = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string settings = pick(2) ? kKeys : "";
    for (size_t lines = pick(12); lines > 0; --lines) {
      std::string value = key_texts[pick(key_texts.size())];
      if (pick(2)) {
        for (size_t n = pick(12); n > 0; --n) value += char(pick(256));
      }
      settings += keys[pick(keys.size())] + (pick(8) ? "=" : "") + value +
                  (pick(3) ? "\n" : "\r\n");
    }
    std::string config;
    std::string message;
    if (!BuildTunnelConfig(settings, "10.0.0.2/32", "1.1.1.1",
                           static_cast<int32_t>(random()), &config, &message)) {
      EXPECT_TRUE(messages.count(message) == 1 ||
                  message.rfind("Недопустимый символ в поле ", 0) == 0)
          << settings;
      continue;
    }
    ++built;
    size_t start = 0;
    for (const char* prefix : prefixes) {
      ASSERT_EQ(config.compare(start, std::strlen(prefix), prefix), 0)
          << prefix << " in\n"
          << config;
      start = config.find('\n', start);
      ASSERT_NE(start, std::string::npos) << config;
      ++start;
    }
    EXPECT_EQ(start, config.size()) << config;
    EXPECT_EQ(LineOf(config, 2).size(), 13u + 44u);
  }
  // Both outcomes must occur often, or the test proves little.
  EXPECT_GT(built, 500);
  EXPECT_LT(built, 3500);
}

}  // namespace
}  // namespace velk
