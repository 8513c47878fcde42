#ifndef WIN_IP_HELPER_H_
#define WIN_IP_HELPER_H_

// The order matters: without winsock2.h and ws2tcpip.h first, iphlpapi.h
// leaves out the route and interface declarations of the *2 family.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
// clang-format on

#include "win/scoped_handle.h"

namespace velk {

// The per-interface DNS settings call is missing from the MinGW headers; the
// record and its flags are declared here as the system defines them.
struct DNS_INTERFACE_SETTINGS {
  ULONG Version;
  ULONG64 Flags;
  PWSTR Domain;
  PWSTR NameServer;
  PWSTR SearchList;
  ULONG RegistrationEnabled;
  ULONG RegisterAdapterName;
  ULONG EnableLLMNR;
  ULONG QueryAdapterName;
  PWSTR ProfileNameServer;
};
inline constexpr ULONG DNS_INTERFACE_SETTINGS_VERSION1 = 1;
inline constexpr ULONG64 DNS_SETTING_IPV6 = 0x1;
inline constexpr ULONG64 DNS_SETTING_NAMESERVER = 0x2;

// The IP helper and name resolution functions that the keepers use, as
// addresses. Any of them may be null: the system lacks it (Wine, older
// Windows). Tests fill the table with a fake network of their own.
struct IpHelperFunctions {
  NETIO_STATUS(WINAPI* GetIpForwardTable2)
  (ADDRESS_FAMILY family, PMIB_IPFORWARD_TABLE2* table) = nullptr;
  VOID(WINAPI* FreeMibTable)(PVOID memory) = nullptr;
  NETIO_STATUS(WINAPI* ConvertInterfaceLuidToAlias)
  (const NET_LUID* luid, PWSTR alias, SIZE_T length) = nullptr;
  VOID(WINAPI* InitializeIpInterfaceEntry)(PMIB_IPINTERFACE_ROW row) = nullptr;
  NETIO_STATUS(WINAPI* GetIpInterfaceEntry)(PMIB_IPINTERFACE_ROW row) = nullptr;
  VOID(WINAPI* InitializeIpForwardEntry)(PMIB_IPFORWARD_ROW2 row) = nullptr;
  NETIO_STATUS(WINAPI* CreateIpForwardEntry2)
  (const MIB_IPFORWARD_ROW2* row) = nullptr;
  NETIO_STATUS(WINAPI* SetIpForwardEntry2)
  (const MIB_IPFORWARD_ROW2* row) = nullptr;
  NETIO_STATUS(WINAPI* DeleteIpForwardEntry2)
  (const MIB_IPFORWARD_ROW2* row) = nullptr;
  NETIO_STATUS(WINAPI* NotifyRouteChange2)
  (ADDRESS_FAMILY family, PIPFORWARD_CHANGE_CALLBACK callback, PVOID context,
   BOOLEAN initial_notification, HANDLE* handle) = nullptr;
  NETIO_STATUS(WINAPI* CancelMibChangeNotify2)(HANDLE handle) = nullptr;
  NETIO_STATUS(WINAPI* GetIfTable2)(PMIB_IF_TABLE2* table) = nullptr;
  DWORD(WINAPI* SetInterfaceDnsSettings)
  (GUID interface_guid, const DNS_INTERFACE_SETTINGS* settings) = nullptr;
  INT(WSAAPI* GetAddrInfoW)
  (PCWSTR node, PCWSTR service, const ADDRINFOW* hints,
   PADDRINFOW* result) = nullptr;
  VOID(WSAAPI* FreeAddrInfoW)(PADDRINFOW info) = nullptr;
};

// The functions of this system: resolved once, at the first call, from
// "iphlpapi.dll" by name, so that a function the system lacks leaves a null
// entry instead of ending the program at its first call.
const IpHelperFunctions& SystemIpHelperFunctions();

// Calls through a function table; a missing function answers as a call that
// failed (ERROR_PROC_NOT_FOUND, or false for the initialisers), so the
// callers meet it on their ordinary failure paths.
class IpHelper {
 public:
  explicit IpHelper(const IpHelperFunctions& functions)
      : functions_(functions) {}

  NETIO_STATUS GetIpForwardTable2(ADDRESS_FAMILY family,
                                  PMIB_IPFORWARD_TABLE2* table) const;
  void FreeMibTable(void* memory) const;
  NETIO_STATUS ConvertInterfaceLuidToAlias(const NET_LUID& luid, PWSTR alias,
                                           SIZE_T length) const;
  bool InitializeIpInterfaceEntry(MIB_IPINTERFACE_ROW* row) const;
  NETIO_STATUS GetIpInterfaceEntry(MIB_IPINTERFACE_ROW* row) const;
  bool InitializeIpForwardEntry(MIB_IPFORWARD_ROW2* row) const;
  NETIO_STATUS CreateIpForwardEntry2(const MIB_IPFORWARD_ROW2& row) const;
  NETIO_STATUS SetIpForwardEntry2(const MIB_IPFORWARD_ROW2& row) const;
  NETIO_STATUS DeleteIpForwardEntry2(const MIB_IPFORWARD_ROW2& row) const;
  NETIO_STATUS NotifyRouteChange2(ADDRESS_FAMILY family,
                                  PIPFORWARD_CHANGE_CALLBACK callback,
                                  void* context, HANDLE* handle) const;
  NETIO_STATUS CancelMibChangeNotify2(HANDLE handle) const;
  NETIO_STATUS GetIfTable2(PMIB_IF_TABLE2* table) const;
  bool HasSetInterfaceDnsSettings() const {
    return functions_.SetInterfaceDnsSettings != nullptr;
  }
  DWORD SetInterfaceDnsSettings(const GUID& interface_guid,
                                const DNS_INTERFACE_SETTINGS& settings) const;
  INT GetAddrInfoW(PCWSTR node, const ADDRINFOW& hints,
                   PADDRINFOW* result) const;
  void FreeAddrInfoW(PADDRINFOW info) const;

 private:
  IpHelperFunctions functions_;
};

// Traits of what the IP helper hands out: each is ended through the same
// table that made it (`Free`), so a fake network frees what it allocated.
template <typename Handle, auto Free>
struct IpHelperTraits : NullInvalidTraits<Handle> {
  // Implicit, so that an owner is made from the table alone:
  //   ScopedMibTable<MIB_IF_TABLE2> table(ip_helper);
  IpHelperTraits(const IpHelper& helper) : ip_helper(&helper) {}  // NOLINT
  // A failure to free leaves nothing that could be undone.
  void Close(Handle value) const { (void)(ip_helper->*Free)(value); }
  const IpHelper* ip_helper;
};

template <typename Table>
using ScopedMibTable =
    ScopedResource<IpHelperTraits<Table*, &IpHelper::FreeMibTable>>;
using ScopedAddrInfo =
    ScopedResource<IpHelperTraits<PADDRINFOW, &IpHelper::FreeAddrInfoW>>;
// A route change notification; ending it waits for a callback that runs.
using ScopedMibNotification =
    ScopedResource<IpHelperTraits<HANDLE, &IpHelper::CancelMibChangeNotify2>>;

}  // namespace velk

#endif  // WIN_IP_HELPER_H_
