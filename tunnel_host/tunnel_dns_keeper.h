#ifndef TUNNEL_HOST_TUNNEL_DNS_KEEPER_H_
#define TUNNEL_HOST_TUNNEL_DNS_KEEPER_H_

#include <functional>
#include <string>
#include <thread>

#include "tunnel_host/config_reading.h"
#include "win/ip_helper.h"
#include "win/scoped_handle.h"

namespace velk {

// Sets the configuration's DNS servers on the tunnel interface. The keeper
// starts before the tunnel library brings the interface up, so a worker
// looks for it at every poll and applies the servers whenever it shows up
// under an identity (LUID) not yet served. The settings stay after stop.
class TunnelDnsKeeper {
 public:
  // The pause between two passes over the interface table.
  static constexpr DWORD kPollIntervalMs = 500;

  // Waits on the stop event for at most the given time after each pass, and
  // answers as WaitForSingleObject does: WAIT_TIMEOUT makes another pass,
  // anything else ends the worker. Tests step the passes through it.
  using PollWaiter = std::function<DWORD(HANDLE stop_event, DWORD ms)>;

  explicit TunnelDnsKeeper(
      const IpHelperFunctions& functions = SystemIpHelperFunctions(),
      PollWaiter wait = ::WaitForSingleObject);
  ~TunnelDnsKeeper();
  TunnelDnsKeeper(const TunnelDnsKeeper&) = delete;
  TunnelDnsKeeper& operator=(const TunnelDnsKeeper&) = delete;

  // Starts the worker unless there is nothing to set or no way to set it.
  void StartTunnelDns(const std::wstring& config_text,
                      const std::wstring& tunnel_name);
  // Ends the worker and waits for it. Returns at once if it never started.
  void StopTunnelDns();

  bool is_running() const { return stop_event_.is_valid(); }

 private:
  // The first interface of the interface table that carries the tunnel's
  // alias.
  bool FindTunnelInterface(NET_LUID* luid, GUID* interface_guid) const;
  // Sets one family's servers (selector 0 for IPv4, 1 for IPv6) on the
  // interface with one call; clears `success` when that call fails. An
  // empty list makes no call.
  void ApplyDnsServers(const GUID& interface_guid, const std::wstring& servers,
                       ULONG64 family_selector, bool& success) const;
  void RunWorker();

  const IpHelper ip_helper_;
  const PollWaiter wait_;

  // Written before the worker starts and unchanged while it runs; the worker
  // only reads them, so they need no lock.
  std::wstring tunnel_name_;
  DnsServerLists servers_;
  ScopedKernelHandle stop_event_;
  std::thread worker_;
};

}  // namespace velk

#endif  // TUNNEL_HOST_TUNNEL_DNS_KEEPER_H_
