#ifndef TESTS_SYSTEM_ROAD_MACHINE_H_
#define TESTS_SYSTEM_ROAD_MACHINE_H_

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The machine that tests/system/road.sh gives a whole-road test, as the
// Windows side sees it: the program folder with the programs in it, the peer
// that answers the tunnel's datagrams, the tunnel interface's received-byte
// counter and the processes that run.
namespace velk::test {

// "C:\Program Files\Velk VPN" or wherever the harness put the programs;
// empty when the program was not started by the harness.
std::wstring ProgramFolder();
std::wstring InProgramFolder(const std::wstring& name);

// Makes the peer answer the tunnel's datagrams, or ignore them.
bool SetPeerAnswering(bool answering);

// How many datagrams to the endpoint the peer has seen so far, and how many
// of them it left unanswered.
int PeerDatagramsSeen();
int PeerDatagramsIgnored();
// The peer's log: one line per datagram.
std::wstring PeerLogPath();

// The received bytes of the interfaces that belong to the tunnel, summed;
// none when the interface table holds no such interface.
std::optional<uint64_t> TunnelReceivedBytes();

// The processes that run the program of this file name (case ignored); none
// when the process list cannot be read, and then the count is -1.
std::optional<std::vector<DWORD>> ProcessIds(const std::wstring& program_name);
int CountProcesses(const std::wstring& program_name);

// Asks `condition` every 20 ms until it holds or `timeout_ms` has passed;
// answers whether it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms);

// The file's bytes, or none when it cannot be opened.
std::optional<std::string> ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);

}  // namespace velk::test

#endif  // TESTS_SYSTEM_ROAD_MACHINE_H_
