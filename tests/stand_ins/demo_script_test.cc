// Reading the demonstration interface's scripts, their literals and its
// settings files.

#include "stand_ins/embedder/demo_script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stand_ins/embedder/demo_settings.h"
#include "stand_ins/embedder/ui_codec.h"

namespace {

using velk::embedder::FormatValue;
using velk::embedder::ParseLiteral;
using velk::embedder::ScriptCommand;
using velk::embedder::UiValue;

TEST(DemoScriptTest, ReadsLiterals) {
  struct Row {
    const char* text;
    const char* read;  // as the transcript writes it back
  };
  const Row rows[] = {
      {"null", "null"},
      {" true ", "true"},
      {"-2147483648", "-2147483648"},
      {"2147483647", "2147483647"},
      {"4294968696L", "4294968696L"},
      {"-9223372036854775808L", "-9223372036854775808L"},
      {"\"a b\\n\\t\\\\\\\"\\x01\\xD0\\xA2\"",
       "\"a b\\n\\t\\\\\\\"\\x01\xD0\xA2\""},
      {"\"\xD0\xA2\"", "\"\xD0\xA2\""},
      {"[]", "[]"},
      {"[ 1 , \"x\" , [null] ]", "[1, \"x\", [null]]"},
      {"{}", "{}"},
      {"{\"settings\": \"private_key=a\\nendpoint=10.77.0.1:51820\", "
       "\"mtu\": 1400, \"big\": 5L}",
       "{\"settings\": \"private_key=a\\nendpoint=10.77.0.1:51820\", "
       "\"mtu\": 1400, \"big\": 5L}"},
  };
  for (const Row& row : rows) {
    UiValue value;
    std::string error;
    ASSERT_TRUE(ParseLiteral(row.text, &value, &error))
        << row.text << ": " << error;
    EXPECT_EQ(FormatValue(value), row.read) << row.text;
  }
}

TEST(DemoScriptTest, RefusesMalformedLiterals) {
  struct Row {
    const char* text;
    const char* error;  // begins with
  };
  const Row rows[] = {
      {"2147483648", "number does not fit in 32 bits"},
      {"-2147483649", "number does not fit in 32 bits"},
      {"9223372036854775808L", "number does not fit in 64 bits"},
      {"\"open", "a string is not closed"},
      {"\"\\q\"", "unknown escape \\q"},
      {"\"\\x4\"", "\\x needs two hexadecimal digits"},
      {"[1 2]", "\",\" or \"]\" expected"},
      {"{\"a\": 1, \"a\": 2}", "repeated key \"a\""},
      {"{\"a\" 1}", "\":\" expected"},
      {"nul", "unexpected \"n\""},
      {"1 2", "unexpected text after the value at column 3"},
      {"", "a value is missing"},
  };
  for (const Row& row : rows) {
    UiValue value;
    std::string error;
    EXPECT_FALSE(ParseLiteral(row.text, &value, &error)) << row.text;
    EXPECT_EQ(error.rfind(row.error, 0), 0u) << row.text << " gave: " << error;
  }
}

TEST(DemoScriptTest, ReadsEveryCommand) {
  const char script[] =
      "# a scenario\r\n"
      "listen\r\n"
      "  call getStatus  \n"
      "\n"
      "call connect demo\n"
      "call connect {\"mtu\": 1400}\n"
      "wait status connected 40000\n"
      "wait status \"error:\xD0\xA1 x\"\n"
      "wait status-prefix error: 5\n"
      "wait replies\n"
      "sleep 0\n"
      "click connect\n"
      "click disconnect\n"
      "cancel\n"
      "close";
  std::vector<ScriptCommand> commands;
  std::string error;
  ASSERT_TRUE(velk::embedder::ParseScript(script, &commands, &error)) << error;
  using Kind = ScriptCommand::Kind;
  ASSERT_EQ(commands.size(), 13u);
  EXPECT_EQ(commands[0].kind, Kind::kListen);
  EXPECT_EQ(commands[0].line, 2);
  EXPECT_EQ(commands[1].kind, Kind::kCall);
  EXPECT_EQ(commands[1].method, "getStatus");
  EXPECT_EQ(commands[1].text, "call getStatus");
  EXPECT_FALSE(commands[1].argument.has_value());
  EXPECT_FALSE(commands[1].demo_argument);
  EXPECT_EQ(commands[2].line, 5);
  EXPECT_TRUE(commands[2].demo_argument);
  ASSERT_TRUE(commands[3].argument.has_value());
  EXPECT_EQ(FormatValue(*commands[3].argument), "{\"mtu\": 1400}");
  EXPECT_EQ(commands[4].kind, Kind::kWaitStatus);
  EXPECT_EQ(commands[4].status, "connected");
  EXPECT_EQ(commands[4].milliseconds, 40000);
  EXPECT_EQ(commands[5].status, "error:\xD0\xA1 x");
  EXPECT_EQ(commands[5].milliseconds, velk::embedder::kDefaultWaitMilliseconds);
  EXPECT_EQ(commands[6].kind, Kind::kWaitStatusPrefix);
  EXPECT_EQ(commands[6].status, "error:");
  EXPECT_EQ(commands[6].milliseconds, 5);
  EXPECT_EQ(commands[7].kind, Kind::kWaitReplies);
  EXPECT_EQ(commands[8].kind, Kind::kSleep);
  EXPECT_EQ(commands[8].milliseconds, 0);
  EXPECT_EQ(commands[9].kind, Kind::kClickConnect);
  EXPECT_EQ(commands[10].kind, Kind::kClickDisconnect);
  EXPECT_EQ(commands[11].kind, Kind::kCancel);
  EXPECT_EQ(commands[12].kind, Kind::kClose);
  EXPECT_EQ(commands[12].line, 15);
}

TEST(DemoScriptTest, NamesTheLineThatDoesNotParse) {
  const struct {
    const char* script;
    const char* error;
  } rows[] = {
      {"listen\nwiat replies", "line 2: unknown command \"wiat\""},
      {"listen now", "line 1: unexpected \"now\""},
      {"call", "line 1: the method name is missing"},
      {"call connect [", "line 1: a value is missing at column 2"},
      {"wait status", "line 1: the status to wait for is missing"},
      {"wait status connected soon",
       "line 1: a time-out in milliseconds (1 or more) expected"},
      {"wait replies 0",
       "line 1: a time-out in milliseconds (1 or more) expected"},
      {"wait for it",
       "line 1: wait status, wait status-prefix or wait "
       "replies expected"},
      {"sleep -1", "line 1: sleep needs a time in milliseconds"},
      {"click here", "line 1: click connect or click disconnect expected"},
  };
  for (const auto& row : rows) {
    std::vector<ScriptCommand> commands;
    std::string error;
    EXPECT_FALSE(velk::embedder::ParseScript(row.script, &commands, &error))
        << row.script;
    EXPECT_EQ(error, row.error) << row.script;
  }
}

TEST(DemoSettingsTest, SplitsTheFileIntoSettingsAndValues) {
  velk::embedder::DemoSettings settings;
  std::string error;
  ASSERT_TRUE(velk::embedder::ParseDemoSettings(
      "\xEF\xBB\xBF# demo\r\nprivate_key=abc=\r\n\r\naddress=10.77.0.2/32\n"
      "endpoint=10.77.0.1:51820\ndns=1.1.1.1, 8.8.8.8\nmtu=1380\n"
      " # not a comment\n",
      &settings, &error))
      << error;
  EXPECT_EQ(settings.settings,
            "private_key=abc=\nendpoint=10.77.0.1:51820\n # not a comment");
  EXPECT_EQ(settings.address, "10.77.0.2/32");
  EXPECT_EQ(settings.dns, "1.1.1.1, 8.8.8.8");
  EXPECT_EQ(settings.mtu, 1380);
  EXPECT_EQ(FormatValue(velk::embedder::DemoArgument(settings)),
            "{\"settings\": \"private_key=abc=\\nendpoint=10.77.0.1:51820\\n "
            "# not a comment\", \"address\": \"10.77.0.2/32\", \"dns\": "
            "\"1.1.1.1, 8.8.8.8\", \"mtu\": 1380}");

  velk::embedder::DemoSettings defaults;
  ASSERT_TRUE(
      velk::embedder::ParseDemoSettings("endpoint=e", &defaults, &error));
  EXPECT_EQ(defaults.mtu, 1350);
  EXPECT_EQ(defaults.address, "");

  for (const char* bad : {"mtu=", "mtu=13a", "mtu=2147483648", "mtu=+5"}) {
    EXPECT_FALSE(velk::embedder::ParseDemoSettings(bad, &defaults, &error))
        << bad;
  }
  EXPECT_TRUE(
      velk::embedder::ParseDemoSettings("mtu=-2147483648", &defaults, &error));
  EXPECT_EQ(defaults.mtu, -2147483647 - 1);
}

}  // namespace
