#include "common/tunnel_identity.h"

namespace velk {

bool IsTunnelAlias(std::wstring_view alias, std::wstring_view tunnel_name) {
  if (alias.size() < tunnel_name.size() ||
      alias.substr(0, tunnel_name.size()) != tunnel_name) {
    return false;
  }
  return alias.size() == tunnel_name.size() ||
         alias[tunnel_name.size()] == L' ';
}

}  // namespace velk
