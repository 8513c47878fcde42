// What the plug-in's threads do to the world outside the process, as five
// small interfaces: the tunnel service, the stored configuration, the
// elevated setup, the tunnel interface's counters and a clock that also
// sleeps. Whoever builds the plug-in hands them over: the client's entry the
// system's own, tests a model of their own.

#ifndef CLIENT_VPN_PLUGIN_OUTSIDE_WORLD_H_
#define CLIENT_VPN_PLUGIN_OUTSIDE_WORLD_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "client/provisioning/tunnel_service.h"

namespace velk {

// The Windows service that runs the tunnel host.
class TunnelService {
 public:
  virtual ~TunnelService() = default;
  virtual bool Exists() = 0;
  // Installed as this client's setup would install it for `config_path`.
  virtual bool IsCurrent(const std::wstring& config_path) = 0;
  // A service that already runs counts as started.
  virtual bool Start() = 0;
  // Asks the service to stop and returns at once.
  virtual bool Stop() = 0;
  // Asks the service to stop and waits, within a bound, until its host has
  // ended.
  virtual void StopAndWait() = 0;
  // `exit_code`, when given, receives the service-specific exit code.
  virtual TunnelServiceState State(uint32_t* exit_code) = 0;
};

// The configuration file that the service's host reads as it starts.
class StoredConfiguration {
 public:
  virtual ~StoredConfiguration() = default;
  virtual std::wstring Path() = 0;
  // Replaces the whole file, without elevation; false when it cannot.
  virtual bool Write(const std::string& config_text) = 0;
};

// The elevated copy of the client that stores the configuration, installs
// the service and starts it. Shows the user the elevation prompt.
class ElevatedSetup {
 public:
  virtual ~ElevatedSetup() = default;
  virtual bool Run(const std::string& config_text) = 0;
};

// What the tunnel's network interfaces have received so far.
class InterfaceCounters {
 public:
  virtual ~InterfaceCounters() = default;
  // 0 when unknown.
  virtual uint64_t TunnelReceivedBytes() = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::chrono::steady_clock::time_point Now() = 0;
  // 100 ns units since 1601-01-01 UTC, as FILETIME counts.
  virtual uint64_t SystemTime() = 0;
  // Pauses the calling thread; may end a little early.
  virtual void Sleep(std::chrono::milliseconds duration) = 0;
};

// Shared: the plug-in's worker and monitor threads may outlive it.
struct OutsideWorld {
  std::shared_ptr<TunnelService> service;
  std::shared_ptr<StoredConfiguration> configuration;
  std::shared_ptr<ElevatedSetup> elevated_setup;
  std::shared_ptr<InterfaceCounters> counters;
  std::shared_ptr<Clock> clock;
};

// The system's service control manager, ProgramData file, "runas" hand-off,
// interface table and clocks.
OutsideWorld SystemOutsideWorld();

}  // namespace velk

#endif  // CLIENT_VPN_PLUGIN_OUTSIDE_WORLD_H_
