#include "tests/support/fake_network.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace velk::test {
namespace {

FakeNetwork* g_network = nullptr;

bool SameAddress(const SOCKADDR_INET& a, const SOCKADDR_INET& b) {
  return std::memcmp(&a, &b, sizeof(SOCKADDR_INET)) == 0;
}

// The identity of a route: destination, interface and next hop.
bool SameRoute(const MIB_IPFORWARD_ROW2& a, const MIB_IPFORWARD_ROW2& b) {
  return a.InterfaceLuid.Value == b.InterfaceLuid.Value &&
         a.DestinationPrefix.PrefixLength == b.DestinationPrefix.PrefixLength &&
         SameAddress(a.DestinationPrefix.Prefix, b.DestinationPrefix.Prefix) &&
         SameAddress(a.NextHop, b.NextHop);
}

}  // namespace

FakeNetwork::FakeNetwork() {
  g_network = this;
  notifier_ = std::thread(&FakeNetwork::DeliverNotifications, this);
}

FakeNetwork::~FakeNetwork() {
  {
    MutexLock lock(mutex_);
    quitting_ = true;
  }
  changed_.notify_all();
  notifier_.join();
  g_network = nullptr;
}

FakeNetwork& FakeNetwork::Current() { return *g_network; }

IpHelperFunctions FakeNetwork::Functions() const {
  IpHelperFunctions functions;
  functions.GetIpForwardTable2 = &GetIpForwardTable2;
  functions.FreeMibTable = &FreeMibTable;
  functions.ConvertInterfaceLuidToAlias = &ConvertInterfaceLuidToAlias;
  functions.InitializeIpInterfaceEntry = &InitializeIpInterfaceEntry;
  functions.GetIpInterfaceEntry = &GetIpInterfaceEntry;
  functions.InitializeIpForwardEntry = &InitializeIpForwardEntry;
  functions.CreateIpForwardEntry2 = &CreateIpForwardEntry2;
  functions.SetIpForwardEntry2 = &SetIpForwardEntry2;
  functions.DeleteIpForwardEntry2 = &DeleteIpForwardEntry2;
  functions.NotifyRouteChange2 = &NotifyRouteChange2;
  functions.CancelMibChangeNotify2 = &CancelMibChangeNotify2;
  functions.GetIfTable2 = &GetIfTable2;
  functions.SetInterfaceDnsSettings = &SetInterfaceDnsSettings;
  functions.GetAddrInfoW = &GetAddrInfoW;
  functions.FreeAddrInfoW = &FreeAddrInfoW;
  return functions;
}

SOCKADDR_INET FakeNetwork::Address(const std::wstring& text) {
  SOCKADDR_INET address;
  std::memset(&address, 0, sizeof(address));
  if (InetPtonW(AF_INET, text.c_str(), &address.Ipv4.sin_addr) == 1) {
    address.si_family = AF_INET;
  } else if (InetPtonW(AF_INET6, text.c_str(), &address.Ipv6.sin6_addr) == 1) {
    address.si_family = AF_INET6;
  }
  return address;
}

// --- The world -------------------------------------------------------------

void FakeNetwork::AddInterface(const Interface& adapter) {
  MutexLock lock(mutex_);
  interfaces_.push_back(adapter);
}

void FakeNetwork::RemoveInterface(uint64_t luid) {
  MutexLock lock(mutex_);
  for (auto it = interfaces_.begin(); it != interfaces_.end();) {
    it = it->luid == luid ? interfaces_.erase(it) : it + 1;
  }
}

void FakeNetwork::SetConnected(uint64_t luid, bool connected) {
  MutexLock lock(mutex_);
  for (Interface& adapter : interfaces_) {
    if (adapter.luid == luid) adapter.connected = connected;
  }
}

void FakeNetwork::SetInOctets(uint64_t luid, ULONG64 in_octets) {
  MutexLock lock(mutex_);
  for (Interface& adapter : interfaces_) {
    if (adapter.luid == luid) adapter.in_octets = in_octets;
  }
}

void FakeNetwork::AddDefaultRoute(uint64_t luid, const std::wstring& next_hop,
                                  ULONG metric) {
  MIB_IPFORWARD_ROW2 row;
  std::memset(&row, 0, sizeof(row));
  row.InterfaceLuid.Value = luid;
  row.NextHop = Address(next_hop);
  row.DestinationPrefix.Prefix.si_family = row.NextHop.si_family;
  row.DestinationPrefix.PrefixLength = 0;
  row.Metric = metric;
  MutexLock lock(mutex_);
  routes_.push_back(row);
  NotifyLocked(&row);
}

void FakeNetwork::RemoveDefaultRoutes(uint64_t luid) {
  MutexLock lock(mutex_);
  for (auto it = routes_.begin(); it != routes_.end();) {
    if (it->InterfaceLuid.Value == luid &&
        it->DestinationPrefix.PrefixLength == 0) {
      NotifyLocked(&*it);
      it = routes_.erase(it);
    } else {
      ++it;
    }
  }
}

void FakeNetwork::AddRouteSilently(const MIB_IPFORWARD_ROW2& row) {
  MutexLock lock(mutex_);
  routes_.push_back(row);
}

void FakeNetwork::Notify(const MIB_IPFORWARD_ROW2* row) {
  MutexLock lock(mutex_);
  NotifyLocked(row);
}

void FakeNetwork::NotifyLocked(const MIB_IPFORWARD_ROW2* row) {
  // Only subscribers that exist when the change happens hear of it.
  Event event{row != nullptr, {}, next_registration_};
  if (row != nullptr) event.row = *row;
  events_.push_back(event);
  changed_.notify_all();
}

std::vector<MIB_IPFORWARD_ROW2>::iterator FakeNetwork::FindRouteLocked(
    const MIB_IPFORWARD_ROW2& row) {
  return std::find_if(routes_.begin(), routes_.end(),
                      [&row](const MIB_IPFORWARD_ROW2& existing) {
                        return SameRoute(existing, row);
                      });
}

NETIO_STATUS FakeNetwork::ChangeExistingRoute(const MIB_IPFORWARD_ROW2& row,
                                              bool remove) {
  MutexLock lock(mutex_);
  ++(remove ? counters_.route_deletions : counters_.route_writes);
  const auto existing = FindRouteLocked(row);
  if (existing == routes_.end()) return ERROR_NOT_FOUND;
  NotifyLocked(&row);
  if (remove) {
    routes_.erase(existing);
  } else {
    *existing = row;
  }
  return NO_ERROR;
}

void FakeNetwork::WaitForNotifications() {
  MutexLock lock(mutex_);
  while (!events_.empty() || delivering_) mutex_.Wait(changed_);
}

void FakeNetwork::DeliverNotifications() {
  for (;;) {
    Event event;
    {
      MutexLock lock(mutex_);
      while (!quitting_ && events_.empty()) mutex_.Wait(changed_);
      if (quitting_) return;
      event = events_.front();
      events_.pop_front();
      delivering_ = true;
    }
    {
      // Subscribers are read under the delivery lock, so a cancellation
      // either removes one before this delivery or waits for it to end.
      MutexLock delivery(delivery_mutex_);
      std::vector<Registration> subscribers;
      {
        MutexLock lock(mutex_);
        for (const auto& [handle, registration] : registrations_) {
          if (handle >= event.subscribers_before) continue;
          if (!event.has_row ||
              registration.family ==
                  event.row.DestinationPrefix.Prefix.si_family) {
            subscribers.push_back(registration);
          }
        }
      }
      for (const Registration& subscriber : subscribers) {
        subscriber.callback(subscriber.context,
                            event.has_row ? &event.row : nullptr,
                            MibParameterNotification);
      }
    }
    {
      MutexLock lock(mutex_);
      delivering_ = false;
    }
    changed_.notify_all();
  }
}

void FakeNetwork::AddName(const std::wstring& host,
                          const std::vector<std::wstring>& ips) {
  MutexLock lock(mutex_);
  std::vector<SOCKADDR_INET>& addresses = names_[host];
  for (const std::wstring& ip : ips) addresses.push_back(Address(ip));
}

// --- Faults ----------------------------------------------------------------

void FakeNetwork::FailRouteCreations(int count, NETIO_STATUS error) {
  MutexLock lock(mutex_);
  route_creation_failures_ = count;
  route_creation_error_ = error;
}

void FakeNetwork::FailRouteTableReads(bool fail) {
  MutexLock lock(mutex_);
  fail_route_table_ = fail;
}

void FakeNetwork::FailDnsCalls(int count) {
  MutexLock lock(mutex_);
  dns_failures_ = count;
}

// --- What happened ---------------------------------------------------------

FakeNetwork::Counters FakeNetwork::counters() const {
  MutexLock lock(mutex_);
  Counters counters = counters_;
  counters.active_registrations = static_cast<int>(registrations_.size());
  return counters;
}

std::vector<MIB_IPFORWARD_ROW2> FakeNetwork::HostRoutes() const {
  MutexLock lock(mutex_);
  std::vector<MIB_IPFORWARD_ROW2> host_routes;
  for (const MIB_IPFORWARD_ROW2& row : routes_) {
    if (row.DestinationPrefix.PrefixLength != 0) host_routes.push_back(row);
  }
  return host_routes;
}

std::vector<FakeNetwork::DnsCall> FakeNetwork::DnsCalls() const {
  MutexLock lock(mutex_);
  return dns_calls_;
}

bool FakeNetwork::WaitForDnsCalls(size_t count, int timeout_ms) const {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  MutexLock lock(mutex_);
  while (dns_calls_.size() < count) {
    if (!mutex_.WaitUntil(changed_, deadline)) {
      return dns_calls_.size() >= count;
    }
  }
  return true;
}

// --- The functions of the table --------------------------------------------

NETIO_STATUS WINAPI FakeNetwork::GetIpForwardTable2(
    ADDRESS_FAMILY family, PMIB_IPFORWARD_TABLE2* table) {
  FakeNetwork& network = Current();
  MutexLock lock(network.mutex_);
  ++network.counters_.route_table_reads;
  if (network.fail_route_table_) return ERROR_NOT_SUPPORTED;
  std::vector<MIB_IPFORWARD_ROW2> rows;
  for (const MIB_IPFORWARD_ROW2& row : network.routes_) {
    if (row.DestinationPrefix.Prefix.si_family == family) rows.push_back(row);
  }
  auto* result = static_cast<MIB_IPFORWARD_TABLE2*>(std::calloc(
      1,
      sizeof(MIB_IPFORWARD_TABLE2) + rows.size() * sizeof(MIB_IPFORWARD_ROW2)));
  result->NumEntries = static_cast<ULONG>(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) result->Table[i] = rows[i];
  ++network.counters_.outstanding_allocations;
  *table = result;
  return NO_ERROR;
}

VOID WINAPI FakeNetwork::FreeMibTable(PVOID memory) {
  FakeNetwork& network = Current();
  MutexLock lock(network.mutex_);
  --network.counters_.outstanding_allocations;
  std::free(memory);
}

NETIO_STATUS WINAPI FakeNetwork::ConvertInterfaceLuidToAlias(
    const NET_LUID* luid, PWSTR alias, SIZE_T length) {
  FakeNetwork& network = Current();
  MutexLock lock(network.mutex_);
  for (const Interface& adapter : network.interfaces_) {
    if (adapter.luid != luid->Value) continue;
    if (!adapter.alias_readable) return ERROR_INVALID_PARAMETER;
    if (adapter.alias.size() + 1 > length) return ERROR_NOT_ENOUGH_MEMORY;
    std::memcpy(alias, adapter.alias.c_str(),
                (adapter.alias.size() + 1) * sizeof(wchar_t));
    return NO_ERROR;
  }
  return ERROR_FILE_NOT_FOUND;
}

VOID WINAPI FakeNetwork::InitializeIpInterfaceEntry(PMIB_IPINTERFACE_ROW row) {
  std::memset(row, 0, sizeof(*row));
  row->Family = AF_UNSPEC;
}

NETIO_STATUS WINAPI FakeNetwork::GetIpInterfaceEntry(PMIB_IPINTERFACE_ROW row) {
  FakeNetwork& network = Current();
  MutexLock lock(network.mutex_);
  if (row->Family != AF_INET && row->Family != AF_INET6) {
    return ERROR_INVALID_PARAMETER;
  }
  for (const Interface& adapter : network.interfaces_) {
    if (adapter.luid != row->InterfaceLuid.Value) continue;
    row->Connected = adapter.connected;
    row->Metric = adapter.metric;
    return NO_ERROR;
  }
  return ERROR_NOT_FOUND;
}

VOID WINAPI FakeNetwork::InitializeIpForwardEntry(PMIB_IPFORWARD_ROW2 row) {
  std::memset(row, 0, sizeof(*row));
  row->ValidLifetime = 0xffffffff;
  row->PreferredLifetime = 0xffffffff;
  row->Metric = 0xffffffff;
  row->Loopback = TRUE;
  row->AutoconfigureAddress = TRUE;
  row->Immortal = TRUE;
}

NETIO_STATUS WINAPI
FakeNetwork::CreateIpForwardEntry2(const MIB_IPFORWARD_ROW2* row) {
  FakeNetwork& network = Current();
  MutexLock lock(network.mutex_);
  ++network.counters_.route_writes;
  if (network.FindRouteLocked(*row) != network.routes_.end()) {
    return ERROR_OBJECT_ALREADY_EXISTS;
  }
  if (network.route_creation_failures_ > 0) {
    --network.route_creation_failures_;
    return network.route_creation_error_;
  }
  network.routes_.push_back(*row);
  network.NotifyLocked(row);
  return NO_ERROR;
}

NETIO_STATUS WINAPI
FakeNetwork::SetIpForwardEntry2(const MIB_IPFORWARD_ROW2* row) {
  return Current().ChangeExistingRoute(*row, /*remove=*/false);
}

NETIO_STATUS WINAPI
FakeNetwork::DeleteIpForwardEntry2(const MIB_IPFORWARD_ROW2* row) {
  return Current().ChangeExistingRoute(*row, /*remove=*/true);
}

NETIO_STATUS WINAPI FakeNetwork::NotifyRouteChange2(
    ADDRESS_FAMILY family, PIPFORWARD_CHANGE_CALLBACK callback, PVOID context,
    BOOLEAN /*initial_notification*/, HANDLE* handle) {
  FakeNetwork& network = Current();
  MutexLock lock(network.mutex_);
  ++network.counters_.registrations;
  network.counters_.registered_family = family;
  const uintptr_t id = network.next_registration_++;
  network.registrations_[id] = Registration{callback, context, family};
  *handle = reinterpret_cast<HANDLE>(id);
  return NO_ERROR;
}

NETIO_STATUS WINAPI FakeNetwork::CancelMibChangeNotify2(HANDLE handle) {
  FakeNetwork& network = Current();
  {
    MutexLock lock(network.mutex_);
    if (network.registrations_.erase(reinterpret_cast<uintptr_t>(handle)) ==
        0) {
      return ERROR_INVALID_HANDLE;
    }
  }
  // Returns only when no callback of this registration is running.
  MutexLock delivery(network.delivery_mutex_);
  return NO_ERROR;
}

NETIO_STATUS WINAPI FakeNetwork::GetIfTable2(PMIB_IF_TABLE2* table) {
  FakeNetwork& network = Current();
  MutexLock lock(network.mutex_);
  const size_t count = network.interfaces_.size();
  auto* result = static_cast<MIB_IF_TABLE2*>(
      std::calloc(1, sizeof(MIB_IF_TABLE2) + count * sizeof(MIB_IF_ROW2)));
  result->NumEntries = static_cast<ULONG>(count);
  for (size_t i = 0; i < count; ++i) {
    const Interface& adapter = network.interfaces_[i];
    MIB_IF_ROW2& row = result->Table[i];
    row.InterfaceLuid.Value = adapter.luid;
    row.InterfaceGuid = adapter.guid;
    wcsncpy(row.Alias, adapter.alias.c_str(), IF_MAX_STRING_SIZE);
    row.InOctets = adapter.in_octets;
  }
  ++network.counters_.outstanding_allocations;
  *table = result;
  return NO_ERROR;
}

DWORD WINAPI FakeNetwork::SetInterfaceDnsSettings(
    GUID interface_guid, const DNS_INTERFACE_SETTINGS* settings) {
  FakeNetwork& network = Current();
  MutexLock lock(network.mutex_);
  DnsCall call;
  call.guid = interface_guid;
  call.version = settings->Version;
  call.flags = settings->Flags;
  call.name_servers =
      settings->NameServer != nullptr ? settings->NameServer : L"";
  call.other_fields_empty =
      settings->Domain == nullptr && settings->SearchList == nullptr &&
      settings->ProfileNameServer == nullptr &&
      settings->RegistrationEnabled == 0 &&
      settings->RegisterAdapterName == 0 && settings->EnableLLMNR == 0 &&
      settings->QueryAdapterName == 0;
  network.dns_calls_.push_back(call);
  network.changed_.notify_all();
  if (network.dns_failures_ > 0) {
    --network.dns_failures_;
    return ERROR_ACCESS_DENIED;
  }
  return NO_ERROR;
}

INT WSAAPI FakeNetwork::GetAddrInfoW(PCWSTR node, PCWSTR /*service*/,
                                     const ADDRINFOW* /*hints*/,
                                     PADDRINFOW* result) {
  FakeNetwork& network = Current();
  MutexLock lock(network.mutex_);
  // Address literals resolve to themselves, names through the fake's list.
  std::vector<SOCKADDR_INET> addresses;
  const SOCKADDR_INET literal = Address(node);
  if (literal.si_family != AF_UNSPEC) {
    addresses.push_back(literal);
  } else {
    const auto found = network.names_.find(node);
    if (found == network.names_.end()) return WSAHOST_NOT_FOUND;
    addresses = found->second;
  }
  ADDRINFOW* head = nullptr;
  ADDRINFOW** tail = &head;
  for (const SOCKADDR_INET& address : addresses) {
    auto* info = new ADDRINFOW{};
    info->ai_family = address.si_family;
    info->ai_socktype = SOCK_DGRAM;
    info->ai_addrlen = address.si_family == AF_INET ? sizeof(sockaddr_in)
                                                    : sizeof(sockaddr_in6);
    auto* copy = new SOCKADDR_INET(address);
    info->ai_addr = reinterpret_cast<sockaddr*>(copy);
    *tail = info;
    tail = &info->ai_next;
    ++network.counters_.outstanding_allocations;
  }
  *result = head;
  return head != nullptr ? 0 : WSANO_DATA;
}

VOID WSAAPI FakeNetwork::FreeAddrInfoW(PADDRINFOW info) {
  FakeNetwork& network = Current();
  MutexLock lock(network.mutex_);
  while (info != nullptr) {
    ADDRINFOW* next = info->ai_next;
    delete reinterpret_cast<SOCKADDR_INET*>(info->ai_addr);
    delete info;
    --network.counters_.outstanding_allocations;
    info = next;
  }
}

}  // namespace velk::test
