// Setup mode and the elevation hand-off end to end under Wine. This program
// runs itself as the setup process (its entry offers the command line to the
// setup mode first), which installs and starts the test host as the tunnel
// service. Each case has a private temporary folder with spaces in its path,
// and starts and ends without the data folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>

#include "client/provisioning/elevated_setup.h"
#include "client/provisioning/setup_mode.h"
#include "client/provisioning/tunnel_config.h"
#include "client/provisioning/tunnel_data_folder.h"
#include "client/provisioning/tunnel_service.h"
#include "common/tunnel_identity.h"
#include "tests/provisioning/service_test_support.h"
#include "tests/support/scoped_variable.h"
#include "tests/support/temporary_folder.h"
#include "tests/support/test_process.h"
#include "win/program_path.h"
#include "win/scoped_handle.h"

namespace velk {
namespace {

namespace fs = std::filesystem;

using test::RunProgram;

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)),
                     std::istreambuf_iterator<char>());
}

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string MakeConfig(const std::string& endpoint) {
  std::string config;
  std::string message;
  EXPECT_TRUE(BuildTunnelConfig(
      "private_key=AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=\n"
      "public_key=4OHi4+Tl5ufo6err7O3u7/Dx8vP09fb3+Pn6+/z9/v8=\nendpoint=" +
          endpoint,
      "10.8.0.2/32", "1.1.1.1,8.8.8.8", 1380, &config, &message));
  return config;
}

std::wstring SetupArgument(const fs::path& input) {
  return L"--tovrane-vpn-setup=\"" + input.wstring() + L"\"";
}

int CountHandOffFiles() {
  int count = 0;
  std::error_code none;
  for (const auto& entry : fs::directory_iterator(GetHandOffFolder(), none)) {
    const std::wstring name = entry.path().filename().wstring();
    count += name.rfind(L"tvc", 0) == 0 && entry.path().extension() == L".tmp";
  }
  return count;
}

// Runs a Linux tool on Windows paths, each named through its folder so that
// a link in the last step is named and not followed. Wine starts a Linux
// program when asked to, and needs one here: its CreateSymbolicLinkW answers
// success without making a link, and deleting a link to a file by name
// deletes the file it points at.
void RunLinuxTool(const wchar_t* tool, std::wstring arguments,
                  std::initializer_list<fs::path> paths) {
  using UnixName = char*(CDECL*)(const wchar_t*);
  const auto unix_name =
      reinterpret_cast<UnixName>(reinterpret_cast<void*>(GetProcAddress(
          GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  ASSERT_NE(unix_name, nullptr);
  for (const fs::path& path : paths) {
    const char* folder = unix_name(path.parent_path().c_str());
    ASSERT_NE(folder, nullptr);
    arguments += L" \"" + fs::path(folder).wstring() + L"/" +
                 path.filename().wstring() + L"\"";
  }
  // Wine may report a Linux program ended before it has: its work is
  // awaited where it shows, on the last path.
  (void)RunProgram(std::wstring(L"/bin/") + tool, arguments);
  const bool removing = tool == std::wstring(L"rm");
  for (int wait = 0; wait < 100; ++wait) {
    if (fs::exists(*std::prev(paths.end())) != removing) return;
    Sleep(50);
  }
  FAIL() << "the Linux tool did not finish";
}

class SetupProcessTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(record_.ok());
    ASSERT_TRUE(test::RemoveTunnelService());
    ASSERT_FALSE(folder_.path().empty());
    root_ = folder_.path();
    temp_ = root_ / L"tmp dir";
    fs::create_directories(temp_);
    tmp_variable_.emplace(L"TMP", temp_.c_str());
    temp_variable_.emplace(L"TEMP", temp_.c_str());
    data_folder_ = GetTunnelDataFolder();
    config_path_ = GetTunnelConfigPath();
    RemoveDataFolder();
    input_ = temp_ / L"tvc input.tmp";
    program_files_copy_ =
        fs::path(L"C:\\Program Files") /
        (L"velk prov " + std::to_wstring(GetCurrentProcessId()));
  }

  void TearDown() override {
    EXPECT_TRUE(test::RemoveTunnelService());
    RemoveDataFolder();
    std::error_code ignored;
    fs::remove_all(program_files_copy_, ignored);
  }

  // A copy of this program, and of the test host when `with_host`, in
  // `folder`.
  static fs::path CopyClientTo(const fs::path& folder, bool with_host) {
    fs::create_directories(folder);
    fs::copy_file(GetProgramPath(), folder / L"velk_vpn.exe");
    if (with_host) {
      fs::copy_file(fs::path(GetProgramFolder()) / L"tovrane_tunnel.exe",
                    folder / L"tovrane_tunnel.exe");
    }
    return folder / L"velk_vpn.exe";
  }

  // A link there goes, not what it points at. With nothing there no tool
  // runs: one whose end Wine reported early could remove what the case
  // makes next.
  void RemoveDataFolder() {
    if (fs::symlink_status(data_folder_).type() != fs::file_type::not_found) {
      RunLinuxTool(L"rm", L"-rf", {data_folder_});
    }
  }

  // Runs this program as the setup process on an input file holding `text`.
  int RunSetupOn(const std::string& text) {
    WriteFileBytes(input_, text);
    return RunProgram(GetProgramPath(), SetupArgument(input_));
  }

  // This program's folder stands for the installed client's.
  test::ScopedInstallRecord record_{GetProgramFolder()};
  const test::TemporaryFolder folder_{L"velk prov"};
  fs::path root_;
  fs::path program_files_copy_;
  fs::path temp_;
  // The case's own temporary folder for this process and the setup's.
  std::optional<test::ScopedVariable> tmp_variable_;
  std::optional<test::ScopedVariable> temp_variable_;
  fs::path data_folder_;
  fs::path config_path_;
  fs::path input_;
};

TEST_F(SetupProcessTest, MissingOrEmptyInputExitsTenAndTouchesNothing) {
  EXPECT_EQ(RunProgram(GetProgramPath(), SetupArgument(temp_ / L"none")), 10);
  EXPECT_EQ(RunSetupOn(""), 10);
  EXPECT_TRUE(fs::exists(input_));
  EXPECT_FALSE(fs::exists(config_path_.parent_path()));
  EXPECT_FALSE(TunnelServiceExists());
}

TEST_F(SetupProcessTest, StoresTheTextInstallsAndStartsTheService) {
  const std::string config = MakeConfig("vpn.example.net:51820");
  ASSERT_EQ(RunSetupOn(config), 0);
  EXPECT_FALSE(fs::exists(input_));
  EXPECT_EQ(ReadFileBytes(config_path_), config);
  EXPECT_TRUE(TunnelServiceIsCurrent(config_path_.wstring()));
  EXPECT_TRUE(test::WaitForTunnelServiceState(TunnelServiceState::Running));

  // A second run replaces the whole file and restarts the service.
  ASSERT_EQ(RunSetupOn("[Interface]\n"), 0);
  EXPECT_EQ(ReadFileBytes(config_path_), "[Interface]\n");
  EXPECT_TRUE(test::WaitForTunnelServiceState(TunnelServiceState::Running));
}

TEST_F(SetupProcessTest, TakesThePathAfterTheFirstArgumentOnly) {
  WriteFileBytes(input_, MakeConfig("a:1"));
  // Inside another argument, with text after the closing quote.
  EXPECT_EQ(
      RunProgram(GetProgramPath(), L"first x" + SetupArgument(input_) +
                                       L"tail " + SetupArgument(L"elsewhere")),
      0);
  // Unquoted, the path runs to the end of the line.
  WriteFileBytes(input_, MakeConfig("b:2"));
  EXPECT_EQ(RunProgram(GetProgramPath(),
                       L"--tovrane-vpn-setup=" + input_.wstring() + L" -x"),
            10);
  EXPECT_EQ(ReadFileBytes(config_path_), MakeConfig("a:1"));
}

TEST_F(SetupProcessTest, ExitCodesOfTheLaterSteps) {
  // 12: a folder where the file belongs cannot be written as a file.
  fs::create_directories(config_path_);
  EXPECT_EQ(RunSetupOn(MakeConfig("a:1")), 12);
  EXPECT_FALSE(TunnelServiceExists());
  fs::remove(config_path_);

  // 14: a service marked for deletion cannot be created or reconfigured.
  {
    ScopedServiceHandle manager(
        OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ScopedServiceHandle doomed(CreateServiceW(
        manager.get(), kTunnelServiceName, kTunnelServiceName,
        SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
        SERVICE_ERROR_NORMAL, L"C:\\old.exe", nullptr, nullptr, nullptr,
        nullptr, nullptr));
    ASSERT_TRUE(doomed && DeleteService(doomed.get()));
    EXPECT_EQ(RunSetupOn(MakeConfig("a:1")), 14);
    EXPECT_EQ(ReadFileBytes(config_path_), MakeConfig("a:1"));
  }

  // 15: a client copy under Program Files without the host beside it
  // installs a service whose program does not exist.
  const fs::path copy = CopyClientTo(program_files_copy_, false);
  WriteFileBytes(input_, MakeConfig("c:3"));
  EXPECT_EQ(RunProgram(copy.wstring(), SetupArgument(input_)), 15);
  EXPECT_TRUE(TunnelServiceExists());
  EXPECT_FALSE(TunnelServiceIsCurrent(config_path_.wstring()));
}

// A copy that the user could have put anywhere must not point the LocalSystem
// service at files the user can replace: only a folder under Program Files
// or the recorded one is approved. Also when the user's environment names
// their own folder as Program Files, since the elevated copy inherits it.
// (A short name in the copy's path cannot be posed here: Wine gives the
// program its long path.)
TEST_F(SetupProcessTest, ServiceIsPointedOnlyAtAnApprovedFolder) {
  ASSERT_EQ(RunSetupOn(MakeConfig("a:1")), 0);
  test::InstalledServiceConfig installed;
  ASSERT_TRUE(test::ReadTunnelServiceConfig(&installed));

  const fs::path in_profile = CopyClientTo(root_ / L"user copy", true);
  const fs::path in_program_files = CopyClientTo(program_files_copy_, true);
  {
    const test::ScopedVariable program_files(L"ProgramFiles", root_.c_str());
    const test::ScopedVariable program_w6432(L"ProgramW6432", root_.c_str());
    WriteFileBytes(input_, MakeConfig("b:2"));
    EXPECT_EQ(RunProgram(in_profile.wstring(), SetupArgument(input_)), 14);
    test::InstalledServiceConfig after;
    ASSERT_TRUE(test::ReadTunnelServiceConfig(&after));
    EXPECT_EQ(after.binary_path, installed.binary_path);
  }

  WriteFileBytes(input_, MakeConfig("c:3"));
  EXPECT_EQ(RunProgram(in_program_files.wstring(), SetupArgument(input_)), 0);
  test::InstalledServiceConfig moved;
  ASSERT_TRUE(test::ReadTunnelServiceConfig(&moved));
  EXPECT_EQ(moved.binary_path.find(program_files_copy_.wstring()), 1u);
}

// A standard user prepares the input or the data folder so that the
// administrator's setup reads, deletes, secures or writes something else.
// Setup refuses with its exit code and leaves everything as it was.
TEST_F(SetupProcessTest, RefusesWhatAUserPrepared) {
  const fs::path victim = root_ / L"victim";
  const fs::path victim_file = victim / L"secret.txt";
  const std::string config = MakeConfig("a:1");
  struct Attack {
    const char* name;
    std::function<std::wstring()> prepare;  // answers the setup's input path
    int exit_code;
  };
  const Attack attacks[] = {
      {"input is a link",
       [&] {
         RunLinuxTool(L"ln", L"-s", {victim_file, input_});
         EXPECT_EQ(ReadFileBytes(input_), "secret");
         return input_.wstring();
       },
       10},
      {"input is a second name",
       [&] {
         EXPECT_TRUE(
             CreateHardLinkW(input_.c_str(), victim_file.c_str(), nullptr));
         return input_.wstring();
       },
       10},
      {"input is not a hand-off file", [&] { return victim_file.wstring(); },
       10},
      {"input is too large",
       [&] {
         WriteFileBytes(input_, std::string(64 * 1024 + 1, 'x'));
         return input_.wstring();
       },
       10},
      {"input is on another machine",
       [&] {
         WriteFileBytes(input_, config);
         return L"\\\\localhost\\C$" + input_.wstring().substr(2);
       },
       10},
      {"input is a device", [] { return std::wstring(L"\\\\.\\NUL"); }, 10},
      {"input is a device by a file name",
       [&] { return (temp_ / L"nul.tmp").wstring(); }, 10},
      {"data folder is a file",
       [&] {
         WriteFileBytes(data_folder_, "planted");
         WriteFileBytes(input_, config);
         return input_.wstring();
       },
       11},
      {"data folder is a link",
       [&] {
         RunLinuxTool(L"ln", L"-s", {victim, data_folder_});
         WriteFileBytes(input_, config);
         return input_.wstring();
       },
       11},
      {"stored file is a link",
       [&] {
         fs::create_directory(data_folder_);
         RunLinuxTool(L"ln", L"-s", {victim_file, config_path_});
         WriteFileBytes(input_, config);
         return input_.wstring();
       },
       12},
  };
  for (const Attack& attack : attacks) {
    SCOPED_TRACE(attack.name);
    fs::create_directories(victim);
    WriteFileBytes(victim_file, "secret");
    const std::wstring input = attack.prepare();
    const std::string planted = ReadFileBytes(data_folder_);
    EXPECT_EQ(RunProgram(GetProgramPath(), SetupArgument(input)),
              attack.exit_code);
    EXPECT_EQ(ReadFileBytes(victim_file), "secret");
    EXPECT_EQ(fs::directory_iterator(victim)->path(), victim_file)
        << "nothing else in the victim folder";
    EXPECT_EQ(
        fs::is_regular_file(data_folder_) ? ReadFileBytes(data_folder_) : "",
        planted);
    EXPECT_FALSE(TunnelServiceExists());
    RemoveDataFolder();
    RunLinuxTool(L"rm", L"-f", {input_});
  }
}

using HandOffTest = SetupProcessTest;

TEST_F(HandOffTest, SucceedsWhenTheSetupExitsWithZero) {
  const std::string config = MakeConfig("vpn.example.net:51820");
  DWORD asked_wait = 0;
  EXPECT_TRUE(RunElevatedSetup(config, [&asked_wait](HANDLE process, DWORD ms) {
    asked_wait = ms;
    return WaitForSingleObject(process, ms);
  }));
  EXPECT_EQ(asked_wait, 30000u);
  EXPECT_EQ(ReadFileBytes(config_path_), config);
  EXPECT_TRUE(TunnelServiceIsCurrent(config_path_.wstring()));
  EXPECT_TRUE(test::WaitForTunnelServiceState(TunnelServiceState::Running));
  EXPECT_EQ(CountHandOffFiles(), 0);
}

TEST_F(HandOffTest, FailsOnAnyOtherExitCode) {
  // An empty text makes the setup exit with 10.
  const fs::path report = root_ / L"report.txt";
  {
    const test::ScopedVariable report_to(L"VELK_TEST_SETUP_REPORT",
                                         report.c_str());
    EXPECT_FALSE(RunElevatedSetup(""));
  }
  EXPECT_EQ(ReadFileBytes(report), "10");
  EXPECT_EQ(CountHandOffFiles(), 0);
}

TEST_F(HandOffTest, LeftoversOfAnEndedClientGoAtTheNextStart) {
  // A client that ended while the prompt was open left its file; a hand-off
  // in progress holds its own open; other files are not ours.
  const fs::path folder = GetHandOffFolder();
  fs::create_directories(folder);
  WriteFileBytes(folder / L"tvc1.tmp", "left over");
  WriteFileBytes(folder / L"tvc2.tmp", "in progress");
  WriteFileBytes(folder / L"other.tmp", "not ours");
  WriteFileBytes(temp_ / L"tvc3.tmp", "another program's");
  ScopedKernelHandle in_progress(CreateFileW(
      (folder / L"tvc2.tmp").c_str(), GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(in_progress);
  RemoveHandOffLeftovers();
  // A deletion that was only marked would show once the handle is closed.
  in_progress.reset();
  EXPECT_FALSE(fs::exists(folder / L"tvc1.tmp"));
  EXPECT_EQ(ReadFileBytes(folder / L"tvc2.tmp"), "in progress");
  EXPECT_TRUE(fs::exists(folder / L"other.tmp"));
  EXPECT_TRUE(fs::exists(temp_ / L"tvc3.tmp"));
}

TEST_F(HandOffTest, GivesUpAfterTheWaitAndLeavesTheSetupRunning) {
  const fs::path report = root_ / L"report.txt";
  // The copy must still be asleep when the wait gives up and the input is
  // deleted: 5 s leave room for a loaded machine to stall this process.
  {
    const test::ScopedVariable delay(L"VELK_TEST_SETUP_DELAY_MS", L"5000");
    const test::ScopedVariable report_to(L"VELK_TEST_SETUP_REPORT",
                                         report.c_str());
    // A 200 ms wait stands in for the 30 seconds.
    EXPECT_FALSE(RunElevatedSetup(MakeConfig("a:1"), [](HANDLE process, DWORD) {
      return WaitForSingleObject(process, 200);
    }));
  }
  EXPECT_EQ(CountHandOffFiles(), 0);
  EXPECT_FALSE(fs::exists(report));

  // The copy was not ended: it still finishes, and finds its input gone.
  const ULONGLONG deadline = GetTickCount64() + test::kServiceDeadlineMs;
  while (ReadFileBytes(report).empty() && GetTickCount64() < deadline) {
    Sleep(100);
  }
  EXPECT_EQ(ReadFileBytes(report), "10");
}

}  // namespace
}  // namespace velk
