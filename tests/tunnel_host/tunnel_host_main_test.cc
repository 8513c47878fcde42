#include "tunnel_host/tunnel_host_main.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/tunnel_host/host_folder.h"

namespace {

using tunnel_host::LoadConfigText;
using tunnel_host_test::HostFolder;

constexpr char kConfig[] =
    "[Interface]\r\nPrivateKey = a2V5\r\nDNS = 10.0.0.53\r\n"
    "[Peer]\r\nEndpoint = 127.0.0.1:51820\r\nAllowedIPs = 0.0.0.0/0\r\n";

// The stand-in runs as it would outside a service, without first waiting for
// Wine to refuse the service dispatcher.
constexpr char kDirectRun[] = "no_dispatcher=1\n";

// --- Loading the file -------------------------------------------------------

TEST(LoadConfigText, ConvertsUtf8AndKeepsTheByteOrderMark) {
  HostFolder folder(HostFolder::Library::kNone);
  ASSERT_TRUE(folder.ok());
  // EF BB BF: byte-order mark; D0 96: U+0416; E2 82 AC: U+20AC.
  folder.Write(L"c.conf",
               "\xEF\xBB\xBF"
               "A=\xD0\x96\xE2\x82\xAC\n");
  std::wstring text;
  ASSERT_TRUE(LoadConfigText(folder.Path(L"c.conf"), text));
  EXPECT_EQ(text,
            L"\xFEFF"
            L"A=\x0416\x20AC\n");
}

TEST(LoadConfigText, EndsTheTextAtTheFirstNulByte) {
  HostFolder folder(HostFolder::Library::kNone);
  ASSERT_TRUE(folder.ok());
  std::wstring text = L"untouched";
  folder.Write(L"c.conf", std::string("DNS = 1.1.1.1\0Endpoint = x:1", 28));
  ASSERT_TRUE(LoadConfigText(folder.Path(L"c.conf"), text));
  EXPECT_EQ(text, L"DNS = 1.1.1.1");

  folder.Write(L"c.conf", std::string("\0abc", 4));
  ASSERT_TRUE(LoadConfigText(folder.Path(L"c.conf"), text));
  EXPECT_EQ(text, L"");
}

TEST(LoadConfigText, StaysInsideFileBytesWithoutNul) {
  HostFolder folder(HostFolder::Library::kNone);
  ASSERT_TRUE(folder.ok());
  // A size that ends exactly at a chunk boundary, and a lone lead byte at
  // the end: the conversion must stop at the file's last byte.
  const std::string exact(8192, 'x');
  folder.Write(L"c.conf", exact);
  std::wstring text;
  ASSERT_TRUE(LoadConfigText(folder.Path(L"c.conf"), text));
  EXPECT_EQ(text, std::wstring(8192, L'x'));

  folder.Write(L"c.conf", "ab\xD0");
  ASSERT_TRUE(LoadConfigText(folder.Path(L"c.conf"), text));
  EXPECT_EQ(text, L"ab\xFFFD");
}

TEST(LoadConfigText, FailsForMissingOrEmptyFiles) {
  HostFolder folder(HostFolder::Library::kNone);
  ASSERT_TRUE(folder.ok());
  std::wstring text = L"untouched";
  EXPECT_FALSE(LoadConfigText(folder.Path(L"missing.conf"), text));
  folder.Write(L"empty.conf", "");
  EXPECT_FALSE(LoadConfigText(folder.Path(L"empty.conf"), text));
  EXPECT_EQ(text, L"untouched");
}

TEST(LoadConfigText, ReadsAFileThatAnotherWriterHoldsOpen) {
  HostFolder folder(HostFolder::Library::kNone);
  ASSERT_TRUE(folder.ok());
  folder.Write(L"c.conf", "MTU = 1280");
  HANDLE writer =
      CreateFileW(folder.Path(L"c.conf").c_str(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  std::wstring text;
  EXPECT_TRUE(LoadConfigText(folder.Path(L"c.conf"), text));
  EXPECT_EQ(text, L"MTU = 1280");
  CloseHandle(writer);
}

// --- The program run directly
// -------------------------------------------------

TEST(TunnelHostProgram, RefusesShortCommandLinesBeforeLoadingTheLibrary) {
  HostFolder folder(HostFolder::Library::kStandIn);
  ASSERT_TRUE(folder.ok());
  folder.Write(L"c.conf", kConfig);
  EXPECT_EQ(folder.RunHost(L"\"" + folder.Path(L"c.conf") + L"\""), 1u);
  EXPECT_EQ(folder.RunHost(L""), 1u);
  EXPECT_FALSE(folder.Exists(L"tunnel_transcript.txt"));
}

TEST(TunnelHostProgram, ExitsWithTwoForMissingOrEmptyConfiguration) {
  HostFolder folder(HostFolder::Library::kStandIn);
  ASSERT_TRUE(folder.ok());
  folder.Write(L"empty.conf", "");
  EXPECT_EQ(folder.RunHost(L"\"" + folder.Path(L"missing.conf") +
                           L"\" \"TovraneVPN\""),
            2u);
  EXPECT_EQ(
      folder.RunHost(L"\"" + folder.Path(L"empty.conf") + L"\" \"TovraneVPN\""),
      2u);
  EXPECT_FALSE(folder.Exists(L"tunnel_transcript.txt"));
}

TEST(TunnelHostProgram, ExitsWithThreeOrFourForAMissingLibraryOrEntry) {
  HostFolder without_library(HostFolder::Library::kNone);
  ASSERT_TRUE(without_library.ok());
  without_library.Write(L"c.conf", kConfig);
  EXPECT_EQ(without_library.RunHost(L"\"" + without_library.Path(L"c.conf") +
                                    L"\" \"TovraneVPN\""),
            3u);

  HostFolder without_entry(HostFolder::Library::kWithoutEntry);
  ASSERT_TRUE(without_entry.ok());
  without_entry.Write(L"c.conf", kConfig);
  EXPECT_EQ(without_entry.RunHost(L"\"" + without_entry.Path(L"c.conf") +
                                  L"\" \"TovraneVPN\""),
            4u);
}

TEST(TunnelHostProgram, HandsTheFileTextAndTunnelNameToTheLibrary) {
  HostFolder folder(HostFolder::Library::kStandIn);
  ASSERT_TRUE(folder.ok());
  folder.Write(L"tunnel_stand_in.ini", kDirectRun);
  folder.Write(L"c.conf", kConfig);
  // The third argument is ignored.
  EXPECT_EQ(folder.RunHost(L"\"" + folder.Path(L"c.conf") +
                           L"\" \"TovraneVPN\" \"extra argument\""),
            0u);
  EXPECT_EQ(folder.ReceivedConfig(), kConfig);
  const std::string transcript = folder.Transcript();
  EXPECT_NE(transcript.find("tunnel name TovraneVPN\n"), std::string::npos)
      << transcript;
  EXPECT_NE(transcript.find("returning 1\n"), std::string::npos) << transcript;
}

TEST(TunnelHostProgram, PassesByteOrderMarkAndStopsAtNul) {
  HostFolder folder(HostFolder::Library::kStandIn);
  ASSERT_TRUE(folder.ok());
  folder.Write(L"tunnel_stand_in.ini", kDirectRun);
  folder.Write(L"bom.conf", std::string("\xEF\xBB\xBF") + kConfig);
  EXPECT_EQ(
      folder.RunHost(L"\"" + folder.Path(L"bom.conf") + L"\" \"TovraneVPN\""),
      0u);
  EXPECT_EQ(folder.ReceivedConfig(), std::string("\xEF\xBB\xBF") + kConfig);

  folder.Write(L"cut.conf", std::string("DNS = 10.0.0.1\0[Peer]\n", 23));
  EXPECT_EQ(
      folder.RunHost(L"\"" + folder.Path(L"cut.conf") + L"\" \"TovraneVPN\""),
      0u);
  EXPECT_EQ(folder.ReceivedConfig(), "DNS = 10.0.0.1");
}

TEST(TunnelHostProgram, ExitsWithFiveWhenTheTunnelFails) {
  HostFolder folder(HostFolder::Library::kStandIn);
  ASSERT_TRUE(folder.ok());
  folder.Write(L"tunnel_stand_in.ini", std::string(kDirectRun) + "result=0\n");
  // An endpoint that resolves nowhere must not keep the tunnel from running.
  folder.Write(
      L"c.conf",
      "[Peer]\nEndpoint = no-such-host.invalid:51820\nDNS = 10.0.0.1\n");
  EXPECT_EQ(
      folder.RunHost(L"\"" + folder.Path(L"c.conf") + L"\" \"TovraneVPN\""),
      5u);
  EXPECT_NE(folder.Transcript().find("returning 0\n"), std::string::npos);
}

TEST(TunnelHostProgram, RunsUntilTheLibraryReturns) {
  HostFolder folder(HostFolder::Library::kStandIn);
  ASSERT_TRUE(folder.ok());
  folder.Write(L"tunnel_stand_in.ini",
               std::string(kDirectRun) + "stop_after_ms=600\n");
  folder.Write(L"c.conf", kConfig);
  const ULONGLONG before = GetTickCount64();
  EXPECT_EQ(
      folder.RunHost(L"\"" + folder.Path(L"c.conf") + L"\" \"TovraneVPN\""),
      0u);
  EXPECT_GE(GetTickCount64() - before, 600u);
  EXPECT_NE(folder.Transcript().find("stopped by itself\n"), std::string::npos);
}

}  // namespace
