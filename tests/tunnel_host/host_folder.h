#ifndef TESTS_TUNNEL_HOST_HOST_FOLDER_H_
#define TESTS_TUNNEL_HOST_HOST_FOLDER_H_

#include <windows.h>

#include <string>

#include "tests/support/temporary_folder.h"

namespace velk::test {

// A fresh folder of one test that holds the built host program, optionally a
// tunnel library beside it, the stand-in's knob file and a configuration
// file; removed with everything in it when the test ends. Each test has its
// own, so the stand-in's knobs and transcript never mix between tests.
class HostFolder {
 public:
  enum class Library { kNone, kStandIn, kWithoutEntry };

  explicit HostFolder(Library library);
  HostFolder(const HostFolder&) = delete;
  HostFolder& operator=(const HostFolder&) = delete;

  bool ok() const { return ok_; }
  std::wstring Path(const std::wstring& name) const {
    return folder_.File(name);
  }
  std::wstring host_path() const { return Path(L"tovrane_tunnel.exe"); }

  void Write(const std::wstring& name, const std::string& bytes) const;
  // Puts a library named `name` into the folder that, once loaded, leaves
  // `name` + ".loaded" beside itself.
  bool Plant(const std::wstring& name) const;
  // The file's bytes; empty when it does not exist (see Exists).
  std::string Read(const std::wstring& name) const;
  bool Exists(const std::wstring& name) const;

  // The stand-in's transcript and what it received as configuration text.
  std::string Transcript() const { return Read(L"tunnel_transcript.txt"); }
  std::string ReceivedConfig() const {
    return Read(L"tunnel_config_received.txt");
  }

  // Runs the host in this folder with `arguments` after its quoted path, in
  // `working_folder` (this folder when empty), and returns its exit code, or
  // -1 when it could not be started or did not end within 30 s.
  DWORD RunHost(const std::wstring& arguments,
                const std::wstring& working_folder = std::wstring()) const;

 private:
  TemporaryFolder folder_{L"velk host"};
  bool ok_ = false;
};

}  // namespace velk::test

#endif  // TESTS_TUNNEL_HOST_HOST_FOLDER_H_
