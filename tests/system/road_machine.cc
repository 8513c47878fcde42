#include "tests/system/road_machine.h"

// clang-format off
#include "win/ip_helper.h"
#include <tlhelp32.h>
// clang-format on

#include <fstream>
#include <initializer_list>
#include <iterator>
#include <sstream>

#include "common/tunnel_identity.h"
#include "win/scoped_handle.h"

namespace velk::test {
namespace {

std::wstring Environment(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, 1024);
  return length > 0 && length < 1024 ? std::wstring(value, length)
                                     : std::wstring();
}

}  // namespace

std::wstring ProgramFolder() { return Environment(L"VELK_ROAD_FOLDER"); }

std::wstring InProgramFolder(const std::wstring& name) {
  return ProgramFolder() + L"\\" + name;
}

bool SetPeerAnswering(bool answering) {
  const std::wstring control = Environment(L"VELK_ROAD_PEER_CONTROL");
  if (control.empty()) return false;
  // The peer notices a change of the file's time or size; the two words
  // differ in size, so even two writes within one time tick are seen.
  return WriteFileBytes(control, answering ? "answer\n" : "silent\n");
}

std::wstring PeerLogPath() { return Environment(L"VELK_ROAD_PEER_LOG"); }

namespace {

// Counts the log's lines that hold any of `words`.
int CountPeerLogLines(std::initializer_list<const char*> words) {
  const std::optional<std::string> log = ReadFileBytes(PeerLogPath());
  if (!log) return 0;
  std::istringstream lines(*log);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    for (const char* word : words) {
      if (line.find(word) != std::string::npos) {
        ++count;
        break;
      }
    }
  }
  return count;
}

}  // namespace

int PeerDatagramsSeen() {
  return CountPeerLogLines({" answered ", " ignored "});
}

int PeerDatagramsIgnored() { return CountPeerLogLines({" ignored "}); }

std::optional<uint64_t> TunnelReceivedBytes() {
  const velk::IpHelper ip_helper(velk::SystemIpHelperFunctions());
  velk::ScopedMibTable<MIB_IF_TABLE2> table(ip_helper);
  if (ip_helper.GetIfTable2(table.receive()) != NO_ERROR) return std::nullopt;
  std::optional<uint64_t> received;
  for (ULONG i = 0; i < table.get()->NumEntries; ++i) {
    const MIB_IF_ROW2& row = table.get()->Table[i];
    if (!velk::IsTunnelAlias(row.Alias, velk::kTunnelName)) continue;
    received = received.value_or(0) + row.InOctets;
  }
  return received;
}

std::optional<std::vector<DWORD>> ProcessIds(const std::wstring& program_name) {
  velk::ScopedKernelHandle snapshot(
      CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return std::nullopt;
  std::vector<DWORD> ids;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (_wcsicmp(entry.szExeFile, program_name.c_str()) == 0) {
      ids.push_back(entry.th32ProcessID);
    }
  }
  return ids;
}

int CountProcesses(const std::wstring& program_name) {
  const std::optional<std::vector<DWORD>> ids = ProcessIds(program_name);
  return ids ? static_cast<int>(ids->size()) : -1;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(20);
  }
}

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  if (!file) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file),
                     std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream file(path.c_str(), std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file.flush());
}

}  // namespace velk::test
