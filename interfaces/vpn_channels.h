// The contract between the user interface and the client's VPN control
// plug-in: the two channels, the methods of the control channel with the keys
// of the "connect" argument, the error of a bad argument, and the status
// strings sent on the status channel and answered by "getStatus".
//
// Both sides spell these names from here: the plug-in, the stand-in
// interface and the tests. The Russian messages are shown to the user as
// they are: keep them byte for byte.

#ifndef INTERFACES_VPN_CHANNELS_H_
#define INTERFACES_VPN_CHANNELS_H_

namespace velk::vpn_channels {

// Method channel, standard method codec.
inline constexpr char kControlChannel[] = "tovrane.vpn/control";
// Event channel, standard method codec; every event is one status string.
inline constexpr char kStatusChannel[] = "tovrane.vpn/status";

// Methods of the control channel.
inline constexpr char kConnect[] = "connect";
inline constexpr char kDisconnect[] = "disconnect";
inline constexpr char kGetStatus[] = "getStatus";
inline constexpr char kGetConnectedSince[] = "getConnectedSince";

// Keys of the map that "connect" takes.
inline constexpr char kSettingsKey[] = "settings";
inline constexpr char kAddressKey[] = "address";
inline constexpr char kDnsKey[] = "dns";
inline constexpr char kMtuKey[] = "mtu";
inline constexpr int kDefaultMtu = 1350;

// The error reply of a "connect" whose argument is absent or not a map.
inline constexpr char kBadArgumentsCode[] = "bad_args";
inline constexpr char kBadArgumentsMessage[] = "Expected a map argument";

// Status strings.
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

// The service stopped with a service-specific code: this text, the code in
// decimal, then kStatusServiceStoppedEnd.
inline constexpr char kStatusServiceStoppedStart[] =
    "error:Служба VPN остановлена (код ";
inline constexpr char kStatusServiceStoppedEnd[] = ")";

}  // namespace velk::vpn_channels

#endif  // INTERFACES_VPN_CHANNELS_H_
