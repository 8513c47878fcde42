#ifndef TESTS_SYSTEM_ROAD_CLIENT_H_
#define TESTS_SYSTEM_ROAD_CLIENT_H_

#include <windows.h>

#include <string>

#include "tests/support/ui_transcript.h"

// One run of the real client, velk_vpn.exe in the road's program folder,
// with the stand-in interface playing a script.
namespace velk::test {

struct ClientRun {
  DWORD exit_code = static_cast<DWORD>(-1);  // -1: did not start or end
  // The most velk_vpn.exe processes seen at one time while it ran, sampled
  // every 10 ms: 2 while an elevated setup copy runs beside the client.
  int most_clients_at_once = 0;
  UiTranscript transcript;
  bool transcript_read = false;
};

// Writes the demonstration settings to a file of the run and the script to
// another, runs the client of `client_folder` (the road's program folder
// when empty) with both and a transcript, and waits for it to end (at most
// `timeout_ms`, then it is ended). Settings may be empty: the client then
// runs without them.
ClientRun RunClient(const std::string& script, const std::string& settings,
                    DWORD timeout_ms = 90000,
                    const std::wstring& client_folder = std::wstring());

// Configuration texts the client made and left in the user's temporary
// folder's hand-off folder ("TovraneVPN\tvc*.tmp").
int TemporaryHandOffFiles();

}  // namespace velk::test

#endif  // TESTS_SYSTEM_ROAD_CLIENT_H_
