#include "tests/system/road_client.h"

#include <atomic>
#include <memory>
#include <thread>

#include "client/provisioning/elevated_setup.h"
#include "tests/support/test_process.h"
#include "tests/system/road_machine.h"

namespace velk::test {
namespace {

std::wstring RunFolder() {
  wchar_t work[MAX_PATH] = {};
  const DWORD length =
      GetEnvironmentVariableW(L"VELK_ROAD_WORK", work, MAX_PATH);
  if (length > 0 && length < MAX_PATH) return work;
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  return temp;
}

// Closes a FindFirstFileW search.
struct SearchCloser {
  void operator()(HANDLE search) const { FindClose(search); }
};

}  // namespace

ClientRun RunClient(const std::string& script, const std::string& settings,
                    DWORD timeout_ms, const std::wstring& client_folder) {
  const std::wstring folder =
      client_folder.empty() ? ProgramFolder() : client_folder;
  static int run_number = 0;
  const std::wstring prefix =
      RunFolder() + L"\\client_run_" + std::to_wstring(++run_number);
  const std::wstring script_path = prefix + L".script";
  const std::wstring settings_path = prefix + L".settings";
  const std::wstring transcript_path = prefix + L".transcript";
  ClientRun run;
  if (!WriteFileBytes(script_path, script)) return run;
  std::wstring arguments = L"\"--ui-script=" + script_path +
                           L"\" \"--ui-transcript=" + transcript_path + L"\"";
  if (!settings.empty()) {
    if (!WriteFileBytes(settings_path, settings)) return run;
    arguments += L" \"--demo-settings=" + settings_path + L"\"";
  }
  TestProcess client;
  if (!client.Start(folder + L"\\velk_vpn.exe", arguments, folder)) return run;

  std::atomic<bool> running{true};
  std::atomic<int> most{0};
  std::thread watcher([&] {
    while (running) {
      const int clients = CountProcesses(L"velk_vpn.exe");
      if (clients > most) most = clients;
      Sleep(10);
    }
  });
  run.exit_code = static_cast<DWORD>(client.Wait(timeout_ms));
  running = false;
  watcher.join();
  run.most_clients_at_once = most;

  std::optional<std::string> transcript = ReadFileBytes(transcript_path);
  run.transcript_read = transcript && run.transcript.Parse(*transcript);
  return run;
}

int TemporaryHandOffFiles() {
  const std::wstring folder = GetHandOffFolder();
  if (folder.empty()) return -1;
  WIN32_FIND_DATAW found;
  HANDLE first = FindFirstFileW((folder + L"tvc*.tmp").c_str(), &found);
  if (first == INVALID_HANDLE_VALUE) return 0;
  std::unique_ptr<void, SearchCloser> search(first);
  int count = 1;
  while (FindNextFileW(search.get(), &found)) ++count;
  return count;
}

}  // namespace velk::test
