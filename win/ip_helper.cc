#include "win/ip_helper.h"

#include <string>

namespace velk {
namespace {

template <typename Function>
void Resolve(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The system's own copy, by full path: a bare name would also match a
// module of that name loaded from elsewhere, or be searched for in the
// working folder and on PATH. Never freed: the resolved addresses live as
// long as the process.
HMODULE LoadSystemIpHelper() {
  wchar_t system_folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(system_folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::wstring path =
      std::wstring(system_folder, length) + L"\\iphlpapi.dll";
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

IpHelperFunctions ResolveSystemFunctions() {
  IpHelperFunctions functions;
  HMODULE iphlpapi = LoadSystemIpHelper();
  if (iphlpapi != nullptr) {
    Resolve(iphlpapi, "GetIpForwardTable2", functions.GetIpForwardTable2);
    Resolve(iphlpapi, "FreeMibTable", functions.FreeMibTable);
    Resolve(iphlpapi, "ConvertInterfaceLuidToAlias",
            functions.ConvertInterfaceLuidToAlias);
    Resolve(iphlpapi, "InitializeIpInterfaceEntry",
            functions.InitializeIpInterfaceEntry);
    Resolve(iphlpapi, "GetIpInterfaceEntry", functions.GetIpInterfaceEntry);
    Resolve(iphlpapi, "InitializeIpForwardEntry",
            functions.InitializeIpForwardEntry);
    Resolve(iphlpapi, "CreateIpForwardEntry2", functions.CreateIpForwardEntry2);
    Resolve(iphlpapi, "SetIpForwardEntry2", functions.SetIpForwardEntry2);
    Resolve(iphlpapi, "DeleteIpForwardEntry2", functions.DeleteIpForwardEntry2);
    Resolve(iphlpapi, "NotifyRouteChange2", functions.NotifyRouteChange2);
    Resolve(iphlpapi, "CancelMibChangeNotify2",
            functions.CancelMibChangeNotify2);
    Resolve(iphlpapi, "GetIfTable2", functions.GetIfTable2);
    Resolve(iphlpapi, "SetInterfaceDnsSettings",
            functions.SetInterfaceDnsSettings);
  }
  // Name resolution exists everywhere this program runs; it sits in the
  // table so that tests can give the route keeper names of their own.
  functions.GetAddrInfoW = &::GetAddrInfoW;
  functions.FreeAddrInfoW = &::FreeAddrInfoW;
  return functions;
}

}  // namespace

const IpHelperFunctions& SystemIpHelperFunctions() {
  static const IpHelperFunctions functions = ResolveSystemFunctions();
  return functions;
}

NETIO_STATUS IpHelper::GetIpForwardTable2(ADDRESS_FAMILY family,
                                          PMIB_IPFORWARD_TABLE2* table) const {
  if (functions_.GetIpForwardTable2 == nullptr) return ERROR_PROC_NOT_FOUND;
  return functions_.GetIpForwardTable2(family, table);
}

void IpHelper::FreeMibTable(void* memory) const {
  if (functions_.FreeMibTable != nullptr) functions_.FreeMibTable(memory);
}

NETIO_STATUS IpHelper::ConvertInterfaceLuidToAlias(const NET_LUID& luid,
                                                   PWSTR alias,
                                                   SIZE_T length) const {
  if (functions_.ConvertInterfaceLuidToAlias == nullptr) {
    return ERROR_PROC_NOT_FOUND;
  }
  return functions_.ConvertInterfaceLuidToAlias(&luid, alias, length);
}

bool IpHelper::InitializeIpInterfaceEntry(MIB_IPINTERFACE_ROW* row) const {
  if (functions_.InitializeIpInterfaceEntry == nullptr) return false;
  functions_.InitializeIpInterfaceEntry(row);
  return true;
}

NETIO_STATUS IpHelper::GetIpInterfaceEntry(MIB_IPINTERFACE_ROW* row) const {
  if (functions_.GetIpInterfaceEntry == nullptr) return ERROR_PROC_NOT_FOUND;
  return functions_.GetIpInterfaceEntry(row);
}

bool IpHelper::InitializeIpForwardEntry(MIB_IPFORWARD_ROW2* row) const {
  if (functions_.InitializeIpForwardEntry == nullptr) return false;
  functions_.InitializeIpForwardEntry(row);
  return true;
}

NETIO_STATUS IpHelper::CreateIpForwardEntry2(
    const MIB_IPFORWARD_ROW2& row) const {
  if (functions_.CreateIpForwardEntry2 == nullptr) return ERROR_PROC_NOT_FOUND;
  return functions_.CreateIpForwardEntry2(&row);
}

NETIO_STATUS IpHelper::SetIpForwardEntry2(const MIB_IPFORWARD_ROW2& row) const {
  if (functions_.SetIpForwardEntry2 == nullptr) return ERROR_PROC_NOT_FOUND;
  return functions_.SetIpForwardEntry2(&row);
}

NETIO_STATUS IpHelper::DeleteIpForwardEntry2(
    const MIB_IPFORWARD_ROW2& row) const {
  if (functions_.DeleteIpForwardEntry2 == nullptr) return ERROR_PROC_NOT_FOUND;
  return functions_.DeleteIpForwardEntry2(&row);
}

NETIO_STATUS IpHelper::NotifyRouteChange2(ADDRESS_FAMILY family,
                                          PIPFORWARD_CHANGE_CALLBACK callback,
                                          void* context, HANDLE* handle) const {
  if (functions_.NotifyRouteChange2 == nullptr) return ERROR_PROC_NOT_FOUND;
  return functions_.NotifyRouteChange2(family, callback, context, FALSE,
                                       handle);
}

NETIO_STATUS IpHelper::CancelMibChangeNotify2(HANDLE handle) const {
  if (functions_.CancelMibChangeNotify2 == nullptr) return ERROR_PROC_NOT_FOUND;
  return functions_.CancelMibChangeNotify2(handle);
}

NETIO_STATUS IpHelper::GetIfTable2(PMIB_IF_TABLE2* table) const {
  if (functions_.GetIfTable2 == nullptr) return ERROR_PROC_NOT_FOUND;
  return functions_.GetIfTable2(table);
}

DWORD IpHelper::SetInterfaceDnsSettings(
    const GUID& interface_guid, const DNS_INTERFACE_SETTINGS& settings) const {
  if (functions_.SetInterfaceDnsSettings == nullptr) {
    return ERROR_PROC_NOT_FOUND;
  }
  return functions_.SetInterfaceDnsSettings(interface_guid, &settings);
}

INT IpHelper::GetAddrInfoW(PCWSTR node, const ADDRINFOW& hints,
                           PADDRINFOW* result) const {
  if (functions_.GetAddrInfoW == nullptr) return EAI_FAIL;
  return functions_.GetAddrInfoW(node, nullptr, &hints, result);
}

void IpHelper::FreeAddrInfoW(PADDRINFOW info) const {
  if (functions_.FreeAddrInfoW != nullptr) functions_.FreeAddrInfoW(info);
}

}  // namespace velk
