// The real velk_vpn.exe answering the four methods, driven by the stand-in
// interface's script, with no tunnel service running. The bytes that crossed
// each way are read back from the interface's transcript and compared with
// the encodings written out here.

#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/build_path.h"
#include "tests/support/hex.h"
#include "tests/support/test_process.h"
#include "win/whole_file.h"

namespace velk::test {
namespace {

// One message of the transcript: to_client (a call of the interface),
// reply_from_client or from_client (a status event).
struct Message {
  std::string direction;
  std::string channel;
  Bytes bytes;
  bool operator==(const Message&) const = default;
};

void PrintTo(const Message& message, std::ostream* out) {
  *out << message.direction << " " << message.channel << " ";
  for (uint8_t byte : message.bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    *out << kDigits[byte >> 4] << kDigits[byte & 15];
  }
}

std::vector<Message> TranscriptMessages(const std::string& transcript) {
  std::vector<Message> messages;
  std::istringstream lines(transcript);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string time, direction, channel, hex;
    fields >> time >> direction >> channel >> hex;
    if (direction == "to_client" || direction == "reply_from_client" ||
        direction == "from_client") {
      messages.push_back({direction, channel, hex == "-" ? Bytes() : Hex(hex)});
    }
  }
  return messages;
}

TEST(VpnPluginProgram, AnswersTheFourMethodsByteForByte) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring stem = std::wstring(temp) + L"vpn_plugin_program_" +
                            std::to_wstring(GetCurrentProcessId());
  const std::wstring script = stem + L"_script.txt";
  const std::wstring transcript = stem + L"_transcript.txt";
  ASSERT_TRUE(WriteWholeFile(script,
                             "listen\n"
                             "call getStatus\n"
                             "call getConnectedSince\n"
                             "call disconnect\n"
                             "wait status disconnected 20000\n"
                             "wait replies 20000\n"
                             "call frobnicate\n"
                             "call connect []\n"
                             "wait replies 20000\n"
                             "call connect {}\n"
                             "wait status-prefix \"error:\" 20000\n"
                             "wait replies 20000\n"
                             "close\n"));
  (void)DeleteFileW(transcript.c_str());  // absent unless a run broke off

  const std::wstring folder = WindowsPathOf(VELK_RUN_FOLDER);
  EXPECT_EQ(RunProgram(folder + L"\\velk_vpn.exe",
                       L"\"--ui-script=" + script + L"\" \"--ui-transcript=" +
                           transcript + L"\"",
                       folder),
            0);
  std::string text;
  ASSERT_TRUE(ReadWholeFile(transcript, &text));
  (void)DeleteFileW(script.c_str());  // the run's files are read
  (void)DeleteFileW(transcript.c_str());
  EXPECT_NE(text.find(" script done\n"), std::string::npos) << text;
  EXPECT_EQ(text.find(" FAIL "), std::string::npos) << text;

  const std::string status = "tovrane.vpn/status";
  const std::string control = "tovrane.vpn/control";
  const Bytes success_without_value = Hex("00 00");
  const std::vector<Message> expected = {
      {"to_client", status, Hex("07 06") + Text("listen") + Hex("00")},
      {"reply_from_client", status, success_without_value},
      {"to_client", control, Hex("07 09") + Text("getStatus") + Hex("00")},
      {"reply_from_client", control, Hex("00 07 0c") + Text("disconnected")},
      {"to_client", control,
       Hex("07 11") + Text("getConnectedSince") + Hex("00")},
      {"reply_from_client", control, success_without_value},
      // The status goes out at once, before the reply.
      {"to_client", control, Hex("07 0a") + Text("disconnect") + Hex("00")},
      {"from_client", status, Hex("00 07 0c") + Text("disconnected")},
      {"reply_from_client", control, success_without_value},
      // Not implemented: a reply of no bytes.
      {"to_client", control, Hex("07 0a") + Text("frobnicate") + Hex("00")},
      {"reply_from_client", control, Bytes()},
      // A list: the error, with no details.
      {"to_client", control, Hex("07 07") + Text("connect") + Hex("0c 00")},
      {"reply_from_client", control,
       Hex("01 07 08") + Text("bad_args") + Hex("07 17") +
           Text("Expected a map argument") + Hex("00")},
      // An empty map reaches the configuration builder, whose message
      // arrives as a status before the reply.
      {"to_client", control, Hex("07 07") + Text("connect") + Hex("0d 00")},
      {"from_client", status, Hex("00 07 0a") + Text("connecting")},
      {"from_client", status,
       Hex("00 07 45") + Text("error:Некорректный PrivateKey в конфигурации")},
      {"reply_from_client", control, success_without_value},
  };
  EXPECT_EQ(TranscriptMessages(text), expected);
}

}  // namespace
}  // namespace velk::test
