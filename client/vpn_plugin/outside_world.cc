#include "client/vpn_plugin/outside_world.h"

#include <windows.h>

#include "client/provisioning/elevated_setup.h"
#include "client/provisioning/tunnel_data_folder.h"
#include "client/vpn_plugin/tunnel_traffic.h"
#include "win/whole_file.h"

namespace velk {
namespace {

class SystemTunnelService : public TunnelService {
 public:
  bool Exists() override { return TunnelServiceExists(); }
  bool IsCurrent(const std::wstring& config_path) override {
    return TunnelServiceIsCurrent(config_path);
  }
  bool Start() override { return StartTunnelService(); }
  bool Stop() override { return StopTunnelService(); }
  void StopAndWait() override { StopTunnelServiceAndWait(); }
  TunnelServiceState State(uint32_t* exit_code) override {
    return QueryTunnelServiceState(exit_code);
  }
};

class SystemStoredConfiguration : public StoredConfiguration {
 public:
  std::wstring Path() override { return GetTunnelConfigPath(); }
  bool Write(const std::string& config_text) override {
    return WriteWholeFile(GetTunnelConfigPath(), config_text);
  }
};

class SystemElevatedSetup : public ElevatedSetup {
 public:
  bool Run(const std::string& config_text) override {
    return RunElevatedSetup(config_text);
  }
};

class SystemInterfaceCounters : public InterfaceCounters {
 public:
  uint64_t TunnelReceivedBytes() override {
    return velk::TunnelReceivedBytes();
  }
};

class SystemClock : public Clock {
 public:
  std::chrono::steady_clock::time_point Now() override {
    return std::chrono::steady_clock::now();
  }
  uint64_t SystemTime() override {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32) |
           now.dwLowDateTime;
  }
  void Sleep(std::chrono::milliseconds duration) override {
    ::Sleep(static_cast<DWORD>(duration.count()));
  }
};

}  // namespace

OutsideWorld SystemOutsideWorld() {
  return {std::make_shared<SystemTunnelService>(),
          std::make_shared<SystemStoredConfiguration>(),
          std::make_shared<SystemElevatedSetup>(),
          std::make_shared<SystemInterfaceCounters>(),
          std::make_shared<SystemClock>()};
}

}  // namespace velk
