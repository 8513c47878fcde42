#ifndef TESTS_SUPPORT_FAKE_NETWORK_H_
#define TESTS_SUPPORT_FAKE_NETWORK_H_

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "common/thread_annotations.h"
#include "win/ip_helper.h"

namespace velk::test {

// A small model of a machine's network behind the IP helper table: a route
// table that notifies its subscribers from a thread of its own (as the
// system does), interfaces with aliases, connected flags, metrics and
// received-byte counters, name resolution, and per-interface DNS settings. One
// network at a time; its functions reach it through a process-wide pointer, as
// the table holds plain function addresses.
class FakeNetwork {
 public:
  struct Interface {
    uint64_t luid = 0;
    std::wstring alias;
    bool alias_readable = true;
    bool connected = true;
    ULONG metric = 0;
    GUID guid{};
    ULONG64 in_octets = 0;  // the interface table's received bytes
  };

  struct DnsCall {
    GUID guid{};
    ULONG version = 0;
    ULONG64 flags = 0;
    std::wstring name_servers;
    bool other_fields_empty = false;
  };

  FakeNetwork();
  ~FakeNetwork();
  FakeNetwork(const FakeNetwork&) = delete;
  FakeNetwork& operator=(const FakeNetwork&) = delete;

  // The table that the keepers are given. A test may clear entries, as a
  // system that lacks those functions would.
  IpHelperFunctions Functions() const;

  // --- The world ---------------------------------------------------------
  void AddInterface(const Interface& adapter);
  void RemoveInterface(uint64_t luid);
  void SetConnected(uint64_t luid, bool connected);
  // The received bytes that the interface table reports from now on.
  void SetInOctets(uint64_t luid, ULONG64 in_octets);
  // Adds a default route (prefix length 0) and notifies it.
  void AddDefaultRoute(uint64_t luid, const std::wstring& next_hop,
                       ULONG metric);
  // Removes every default route of an interface and notifies each.
  void RemoveDefaultRoutes(uint64_t luid);
  // Any route, added without a notification (the state before the keeper).
  void AddRouteSilently(const MIB_IPFORWARD_ROW2& row);
  // Queues a notification as the system sends it; `row` may be null.
  void Notify(const MIB_IPFORWARD_ROW2* row);
  // Waits until every queued notification has been delivered.
  void WaitForNotifications();
  void AddName(const std::wstring& host, const std::vector<std::wstring>& ips);

  // --- Faults ------------------------------------------------------------
  void FailRouteCreations(int count, NETIO_STATUS error);
  void FailRouteTableReads(bool fail);
  void FailDnsCalls(int count);

  // --- What happened -----------------------------------------------------
  struct Counters {
    int route_table_reads = 0;
    int route_writes = 0;  // create and set calls
    int route_deletions = 0;
    int registrations = 0;  // made, whether still active or not
    int active_registrations = 0;
    ADDRESS_FAMILY registered_family = AF_UNSPEC;
    int outstanding_allocations = 0;  // tables and name results not freed
  };
  Counters counters() const;
  std::vector<MIB_IPFORWARD_ROW2> HostRoutes() const;
  std::vector<DnsCall> DnsCalls() const;
  // Waits up to `timeout_ms` until at least `count` DNS calls were made.
  bool WaitForDnsCalls(size_t count, int timeout_ms) const;

  static SOCKADDR_INET Address(const std::wstring& text);

 private:
  struct Registration {
    PIPFORWARD_CHANGE_CALLBACK callback;
    void* context;
    ADDRESS_FAMILY family;
  };
  struct Event {
    bool has_row;
    MIB_IPFORWARD_ROW2 row;
    uintptr_t subscribers_before;
  };

  static FakeNetwork& Current();
  void DeliverNotifications();
  void NotifyLocked(const MIB_IPFORWARD_ROW2* row) REQUIRES(mutex_);
  // The route with the same destination, interface and next hop.
  std::vector<MIB_IPFORWARD_ROW2>::iterator FindRouteLocked(
      const MIB_IPFORWARD_ROW2& row) REQUIRES(mutex_);
  // Replaces or removes that route, and notifies the change.
  NETIO_STATUS ChangeExistingRoute(const MIB_IPFORWARD_ROW2& row, bool remove);

  static NETIO_STATUS WINAPI GetIpForwardTable2(ADDRESS_FAMILY family,
                                                PMIB_IPFORWARD_TABLE2* table);
  static VOID WINAPI FreeMibTable(PVOID memory);
  static NETIO_STATUS WINAPI ConvertInterfaceLuidToAlias(const NET_LUID* luid,
                                                         PWSTR alias,
                                                         SIZE_T length);
  static VOID WINAPI InitializeIpInterfaceEntry(PMIB_IPINTERFACE_ROW row);
  static NETIO_STATUS WINAPI GetIpInterfaceEntry(PMIB_IPINTERFACE_ROW row);
  static VOID WINAPI InitializeIpForwardEntry(PMIB_IPFORWARD_ROW2 row);
  static NETIO_STATUS WINAPI
  CreateIpForwardEntry2(const MIB_IPFORWARD_ROW2* row);
  static NETIO_STATUS WINAPI SetIpForwardEntry2(const MIB_IPFORWARD_ROW2* row);
  static NETIO_STATUS WINAPI
  DeleteIpForwardEntry2(const MIB_IPFORWARD_ROW2* row);
  static NETIO_STATUS WINAPI NotifyRouteChange2(
      ADDRESS_FAMILY family, PIPFORWARD_CHANGE_CALLBACK callback, PVOID context,
      BOOLEAN initial_notification, HANDLE* handle);
  static NETIO_STATUS WINAPI CancelMibChangeNotify2(HANDLE handle);
  static NETIO_STATUS WINAPI GetIfTable2(PMIB_IF_TABLE2* table);
  static DWORD WINAPI SetInterfaceDnsSettings(
      GUID interface_guid, const DNS_INTERFACE_SETTINGS* settings);
  static INT WSAAPI GetAddrInfoW(PCWSTR node, PCWSTR service,
                                 const ADDRINFOW* hints, PADDRINFOW* result);
  static VOID WSAAPI FreeAddrInfoW(PADDRINFOW info);

  mutable Mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<Interface> interfaces_ GUARDED_BY(mutex_);
  std::vector<MIB_IPFORWARD_ROW2> routes_ GUARDED_BY(mutex_);
  std::map<std::wstring, std::vector<SOCKADDR_INET>> names_ GUARDED_BY(mutex_);
  std::map<uintptr_t, Registration> registrations_ GUARDED_BY(mutex_);
  uintptr_t next_registration_ GUARDED_BY(mutex_) = 1;
  std::deque<Event> events_ GUARDED_BY(mutex_);
  bool delivering_ GUARDED_BY(mutex_) = false;
  bool quitting_ GUARDED_BY(mutex_) = false;

  int route_creation_failures_ GUARDED_BY(mutex_) = 0;
  NETIO_STATUS route_creation_error_ GUARDED_BY(mutex_) = 0;
  bool fail_route_table_ GUARDED_BY(mutex_) = false;
  int dns_failures_ GUARDED_BY(mutex_) = 0;
  Counters counters_ GUARDED_BY(mutex_);
  std::vector<DnsCall> dns_calls_ GUARDED_BY(mutex_);

  // Held while a callback runs: cancelling waits for it, as on Windows.
  Mutex delivery_mutex_ ACQUIRED_BEFORE(mutex_);
  std::thread notifier_;
};

}  // namespace velk::test

#endif  // TESTS_SUPPORT_FAKE_NETWORK_H_
