// The connection statuses that the interface receives on the status channel
// and from "getStatus". The Russian messages are shown to the user as they
// are: keep them byte for byte.

#ifndef CLIENT_VPN_PLUGIN_STATUS_STRINGS_H_
#define CLIENT_VPN_PLUGIN_STATUS_STRINGS_H_

#include <cstdint>
#include <string>

namespace velk {

inline constexpr char kStatusDisconnected[] = "disconnected";
inline constexpr char kStatusConnecting[] = "connecting";
inline constexpr char kStatusConnected[] = "connected";

// Followed by the message for the user.
inline constexpr char kStatusErrorPrefix[] = "error:";

// Neither the direct start nor the elevated setup got the service running.
inline constexpr char kStatusServiceSetupFailed[] =
    "error:Не удалось настроить или запустить службу VPN";

// The service ran without receiving anything for longer than the handshake
// allowance.
inline constexpr char kStatusNoHandshake[] =
    "error:Сервер не отвечает (нет рукопожатия). Проверьте конфигурацию и "
    "сеть";

// The error status of a service that stopped with a service-specific code.
std::string ServiceStoppedStatus(uint32_t exit_code);

}  // namespace velk

#endif  // CLIENT_VPN_PLUGIN_STATUS_STRINGS_H_
