#include "tunnel_host/tunnel_dns_keeper.h"

#include <system_error>
#include <utility>

#include "common/tunnel_identity.h"

namespace velk {

TunnelDnsKeeper::TunnelDnsKeeper(const IpHelperFunctions& functions,
                                 PollWaiter wait)
    : ip_helper_(functions), wait_(std::move(wait)) {}

TunnelDnsKeeper::~TunnelDnsKeeper() {
  // A thread still joinable at destruction would end the process.
  StopTunnelDns();
}

void TunnelDnsKeeper::StartTunnelDns(const std::wstring& config_text,
                                     const std::wstring& tunnel_name) {
  tunnel_name_ = tunnel_name;
  ReadDnsServers(config_text, servers_);
  if (servers_.ipv4.empty() && servers_.ipv6.empty()) return;
  if (!ip_helper_.HasSetInterfaceDnsSettings()) return;

  stop_event_ = ScopedKernelHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!stop_event_.is_valid()) return;
  try {
    worker_ = std::thread(&TunnelDnsKeeper::RunWorker, this);
  } catch (const std::system_error&) {
    // No thread: the tunnel runs without DNS settings from the host, as it
    // does on a system without the settings call.
    stop_event_.reset();
  }
}

void TunnelDnsKeeper::StopTunnelDns() {
  if (!stop_event_.is_valid()) return;
  SetEvent(stop_event_.get());
  if (worker_.joinable()) worker_.join();
  stop_event_.reset();
}

bool TunnelDnsKeeper::FindTunnelInterface(NET_LUID* luid,
                                          GUID* interface_guid) const {
  ScopedMibTable<MIB_IF_TABLE2> table(ip_helper_);
  if (ip_helper_.GetIfTable2(table.receive()) != NO_ERROR ||
      table.get() == nullptr) {
    return false;
  }
  for (ULONG i = 0; i < table.get()->NumEntries; ++i) {
    const MIB_IF_ROW2& row = table.get()->Table[i];
    // The alias field is a fixed array; never read past it.
    const std::wstring_view alias(row.Alias,
                                  wcsnlen(row.Alias, IF_MAX_STRING_SIZE + 1));
    if (IsTunnelAlias(alias, tunnel_name_)) {
      *luid = row.InterfaceLuid;
      *interface_guid = row.InterfaceGuid;
      return true;
    }
  }
  return false;
}

void TunnelDnsKeeper::ApplyDnsServers(const GUID& interface_guid,
                                      const std::wstring& servers,
                                      ULONG64 family_selector,
                                      bool& success) const {
  if (servers.empty()) return;
  // The call takes a writable string although it only reads it.
  std::wstring name_servers = servers;
  DNS_INTERFACE_SETTINGS settings{};
  settings.Version = DNS_INTERFACE_SETTINGS_VERSION1;
  settings.Flags = DNS_SETTING_NAMESERVER | family_selector;
  settings.NameServer = name_servers.data();
  if (ip_helper_.SetInterfaceDnsSettings(interface_guid, settings) != 0) {
    success = false;
  }
}

void TunnelDnsKeeper::RunWorker() {
  ULONG64 last_applied_luid = 0;
  do {
    NET_LUID luid{};
    GUID interface_guid{};
    if (!FindTunnelInterface(&luid, &interface_guid)) {
      // Forgotten, so that the interface is served again when it returns.
      last_applied_luid = 0;
    } else if (luid.Value != last_applied_luid) {
      bool success = true;
      ApplyDnsServers(interface_guid, servers_.ipv4, 0, success);
      // Made even when the IPv4 call failed; both are repeated next time.
      ApplyDnsServers(interface_guid, servers_.ipv6, DNS_SETTING_IPV6, success);
      if (success) last_applied_luid = luid.Value;
    }
  } while (wait_(stop_event_.get(), kPollIntervalMs) == WAIT_TIMEOUT);
}

}  // namespace velk
