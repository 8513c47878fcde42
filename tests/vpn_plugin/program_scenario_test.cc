// The real velk_vpn.exe answering the four methods, driven by the stand-in
// interface's script, with no tunnel service running. The bytes that crossed
// each way are read back from the interface's transcript and compared with
// the encodings written out here.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "interfaces/vpn_channels.h"
#include "tests/support/build_path.h"
#include "tests/support/hex.h"
#include "tests/support/temporary_folder.h"
#include "tests/support/test_process.h"
#include "tests/support/ui_transcript.h"
#include "win/whole_file.h"

namespace velk::test {
namespace {

using vpn_channels::kBadArgumentsCode;
using vpn_channels::kBadArgumentsMessage;
using vpn_channels::kConnect;
using vpn_channels::kDisconnect;
using vpn_channels::kGetConnectedSince;
using vpn_channels::kGetStatus;
using vpn_channels::kStatusConnecting;
using vpn_channels::kStatusDisconnected;

// One message of the transcript: to_client (a call of the interface),
// reply_from_client or from_client (a status event). Compared by its bytes,
// shown as hex.
struct Message {
  std::string kind;
  std::string channel;
  Bytes bytes;
  bool operator==(const Message&) const = default;
};

void PrintTo(const Message& message, std::ostream* out) {
  *out << message.kind << " " << message.channel << " " << ToHex(message.bytes);
}

std::vector<Message> Messages(const UiTranscript& transcript) {
  std::vector<Message> messages;
  for (const UiEntry& entry : transcript.entries()) {
    if (entry.kind == "to_client" || entry.kind == "reply_from_client" ||
        entry.kind == "from_client") {
      messages.push_back({entry.kind, entry.channel, Text(entry.bytes)});
    }
  }
  return messages;
}

TEST(VpnPluginProgram, AnswersTheFourMethodsByteForByte) {
  TemporaryFolder temporary;
  const std::wstring script = temporary.File(L"script.txt");
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

  const std::wstring folder = WindowsPathOf(VELK_RUN_FOLDER);
  EXPECT_EQ(RunProgram(folder + L"\\velk_vpn.exe",
                       L"\"--ui-script=" + script + L"\" \"--ui-transcript=" +
                           temporary.File(L"transcript.txt") + L"\"",
                       folder),
            0);
  UiTranscript transcript;
  ASSERT_TRUE(
      ReadUiTranscript(temporary.Utf8File(L"transcript.txt"), &transcript));
  EXPECT_TRUE(transcript.ScriptDone());
  EXPECT_EQ(transcript.Failures(), std::vector<std::string>());

  const std::string status = vpn_channels::kStatusChannel;
  const std::string control = vpn_channels::kControlChannel;
  const Bytes success_without_value = Hex("00 00");
  const std::vector<Message> expected = {
      {"to_client", status, Hex("07 06") + Text("listen") + Hex("00")},
      {"reply_from_client", status, success_without_value},
      {"to_client", control, Hex("07 09") + Text(kGetStatus) + Hex("00")},
      {"reply_from_client", control,
       Hex("00 07 0c") + Text(kStatusDisconnected)},
      {"to_client", control,
       Hex("07 11") + Text(kGetConnectedSince) + Hex("00")},
      {"reply_from_client", control, success_without_value},
      // The status goes out at once, before the reply.
      {"to_client", control, Hex("07 0a") + Text(kDisconnect) + Hex("00")},
      {"from_client", status, Hex("00 07 0c") + Text(kStatusDisconnected)},
      {"reply_from_client", control, success_without_value},
      // Not implemented: a reply of no bytes.
      {"to_client", control, Hex("07 0a") + Text("frobnicate") + Hex("00")},
      {"reply_from_client", control, Bytes()},
      // A list: the error, with no details.
      {"to_client", control, Hex("07 07") + Text(kConnect) + Hex("0c 00")},
      {"reply_from_client", control,
       Hex("01 07 08") + Text(kBadArgumentsCode) + Hex("07 17") +
           Text(kBadArgumentsMessage) + Hex("00")},
      // An empty map reaches the configuration builder, whose message
      // arrives as a status before the reply.
      {"to_client", control, Hex("07 07") + Text(kConnect) + Hex("0d 00")},
      {"from_client", status, Hex("00 07 0a") + Text(kStatusConnecting)},
      {"from_client", status,
       Hex("00 07 45") + Text("error:Некорректный PrivateKey в конфигурации")},
      {"reply_from_client", control, success_without_value},
  };
  EXPECT_EQ(Messages(transcript), expected);
}

}  // namespace
}  // namespace velk::test
