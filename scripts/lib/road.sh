# The road: a machine of its own for a Windows program, made of a network
# namespace in which a tun device "TovraneVPN" stands for the tunnel
# interface, held by the peer (tests/system/peer.py) that answers the
# tunnel's datagrams to 10.77.0.1, and a fresh Wine prefix whose wineserver
# runs inside that namespace. Sourced, never run: tests/system/road.sh runs
# one program on a road, scripts/run --connect runs the client on one.
#
# A caller calls road_setup (or only road_network_setup), road_wine and,
# from a trap, road_teardown. Everything is made as root; whatever a run
# leaves when it is killed, the next run sweeps up.

road_source=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$road_source/scripts/lib/common.sh"
road_work_root=${VELK_ROAD_WORK_ROOT:-/tmp}
road_folder_name='Program Files/Velk VPN'
road_env=()

road_ns=""
road_work=""
road_prefix=""
road_peer_pid=""
road_program_pid=""
road_keep=0

road_say() { echo "road: $*" >&2; }

# Why this machine cannot run a road, or nothing.
road_missing() {
  [ "$(id -u)" -eq 0 ] || { echo "needs root (network namespaces, tun)"; return; }
  [ -c /dev/net/tun ] || { echo "needs /dev/net/tun"; return; }
  command -v ip >/dev/null || { echo "needs ip (iproute2)"; return; }
  [ -x /usr/bin/python3 ] || { echo "needs /usr/bin/python3"; return; }
  command -v wine >/dev/null || { echo "needs wine"; return; }
}

road_server() { WINEPREFIX=$1 TMPDIR=/tmp wineserver "${@:2}"; }

# Ends a network namespace: every process in it, then the namespace, which
# takes the device with it.
road_drop_namespace() {
  local ns=$1 pids
  pids=$(ip netns pids "$ns" 2>/dev/null)
  [ -n "$pids" ] && kill -KILL $pids 2>/dev/null
  ip netns delete "$ns" 2>/dev/null
}

# Unmounts an overlaid prefix, lazily if a process still holds it, so that
# removing the work folder never reaches into the template.
road_unmount() {
  mountpoint -q "$1" 2>/dev/null || return 0
  umount "$1" 2>/dev/null || umount -l "$1"
}

# Removes what runs of this script left when they were killed: their
# namespaces, wineservers and work folders carry the owning shell's pid.
road_sweep() {
  local ns pid work
  for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep '^velk-road-'); do
    pid=${ns#velk-road-}
    kill -0 "$pid" 2>/dev/null && continue
    road_drop_namespace "$ns"
  done
  for work in "$road_work_root"/velk-road-*; do
    [ -d "$work" ] || continue
    pid=${work##*/velk-road-}
    [ -f "$work/.kept" ] && continue
    kill -0 "$pid" 2>/dev/null && continue
    [ -d "$work/prefix" ] && road_server "$work/prefix" -k 2>/dev/null
    road_unmount "$work/prefix"
    rm -rf "$work"
  done
}

# road_teardown [STATUS]: removes the road; answers STATUS (default: the
# status of the last command), or 1 when something of the road was left.
road_teardown() {
  local status=${1:-$?}
  local road_pids="" pid left="" left_processes=""
  trap - EXIT INT TERM HUP
  [ -n "$road_ns" ] && road_pids=$(ip netns pids "$road_ns" 2>/dev/null)
  [ -n "$road_program_pid" ] && kill -TERM "$road_program_pid" 2>/dev/null
  if [ -n "$road_prefix" ] && [ "$road_keep" -eq 1 ]; then
    # A kept prefix is used again: its service must not be left running.
    road_wine sc stop TovraneVPNTunnel >/dev/null 2>&1
  fi
  [ -n "$road_prefix" ] && road_server "$road_prefix" -k 2>/dev/null
  if [ -n "$road_peer_pid" ]; then
    kill "$road_peer_pid" 2>/dev/null
    wait "$road_peer_pid" 2>/dev/null
  fi
  [ -n "$road_ns" ] && road_drop_namespace "$road_ns"
  # Nothing of the road may outlive it: not the namespace (and with it the
  # device), not the peer, the wineserver or any program that ran in it.
  if [ -n "$road_ns" ] && ip netns list | awk '{print $1}' | grep -qx "$road_ns"; then
    left+=" namespace $road_ns"
  fi
  local tries
  for tries in $(seq 20); do
    left_processes=""
    for pid in $road_pids $road_peer_pid; do
      [ -d "/proc/$pid" ] && [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" != Z ] &&
        left_processes+=" process $pid"
    done
    [ -z "$left_processes" ] && break
    sleep 0.1  # a killed process takes a moment to go
  done
  left+=$left_processes
  if [ -n "$left" ]; then
    road_say "left behind:$left"
    [ $status -eq 0 ] && status=1
  fi
  if [ -n "$road_work" ]; then
    road_unmount "$road_work/prefix"
    if [ "$road_keep" -eq 1 ]; then
      touch "$road_work/.kept"
      road_say "kept $road_work"
    else
      rm -rf "$road_work"
    fi
  fi
  road_ns="" road_work="" road_prefix="" road_peer_pid=""
  return $status
}

# road_network_setup PEER_MODE [SILENT_AFTER]: the work folder, the
# namespace and, unless PEER_MODE is none, the peer with its device. The
# caller makes sure road_teardown runs (a trap).
road_network_setup() {
  local peer_mode=$1 silent_after=${2:-} i
  road_sweep
  road_work="$road_work_root/velk-road-$$"
  road_ns="velk-road-$$"
  rm -rf "$road_work"
  mkdir -p "$road_work"
  ip netns add "$road_ns" || return 1
  ip -n "$road_ns" link set lo up || return 1

  if [ "$peer_mode" != none ]; then
    local peer_args=(--mode="$peer_mode" --ready="$road_work/peer.ready"
      --log="$road_work/peer.log" --control="$road_work/peer.control")
    [ -n "$silent_after" ] && peer_args+=(--silent-after="$silent_after")
    # Started directly, so that $! is the peer itself.
    ip netns exec "$road_ns" /usr/bin/python3 "$road_source/tests/system/peer.py" \
      "${peer_args[@]}" </dev/null >>"$road_work/peer.out" 2>&1 &
    road_peer_pid=$!
    for i in $(seq 100); do
      [ -f "$road_work/peer.ready" ] && break
      kill -0 "$road_peer_pid" 2>/dev/null || break
      sleep 0.05
    done
    if [ ! -f "$road_work/peer.ready" ]; then
      road_say "the peer did not bring up the device:"
      cat "$road_work/peer.out" >&2
      return 1
    fi
  fi
}

# A fresh prefix from the template, its wineserver started inside the
# namespace, and the program folder.
road_prefix_setup() {
  local template
  template=$("$road_source/cmake/wine_test_runner.sh" --template) || return 1
  road_prefix="$road_work/prefix"
  # The template seen through an overlay takes no time and keeps the
  # template untouched; a copy (about 2 s) where overlays cannot be mounted.
  mkdir -p "$road_prefix" "$road_work/overlay/upper" "$road_work/overlay/work"
  if ! mount -t overlay overlay \
      -o "lowerdir=$template,upperdir=$road_work/overlay/upper,workdir=$road_work/overlay/work" \
      "$road_prefix" 2>/dev/null; then
    rmdir "$road_prefix"
    cp -a "$template" "$road_prefix" || return 1
  fi
  # The server starts inside the namespace: one started outside would show
  # Wine the host's interfaces instead of the device.
  road_server "$road_prefix" -k 2>/dev/null
  ip netns exec "$road_ns" env WINEPREFIX="$road_prefix" TMPDIR=/tmp \
    wineserver -p3600 </dev/null >/dev/null 2>&1
  road_wine wineboot >/dev/null 2>&1
  mkdir -p "$road_prefix/drive_c/$road_folder_name"
}

# road_setup PEER_MODE [SILENT_AFTER]: the whole road.
road_setup() {
  road_network_setup "$@" && road_prefix_setup
}

# Windows path of the program folder, and its Linux path.
road_folder_windows() { printf 'C:\\%s' "${road_folder_name//\//\\}"; }
road_folder() { printf '%s/drive_c/%s' "$road_prefix" "$road_folder_name"; }

road_copy() { cp -f "$@" "$(road_folder)/"; }

# The command that runs a Windows program inside the namespace, against the
# road's prefix, in the array road_command.
road_wine_command() {
  road_command=(ip netns exec "$road_ns" env
    WINEPREFIX="$road_prefix" "${velk_wine_environment[@]}"
    VELK_ROAD_FOLDER="$(road_folder_windows)"
    VELK_ROAD_WORK="$(velk_windows_path "$road_work")"
    VELK_ROAD_PEER_CONTROL="$(velk_windows_path "$road_work/peer.control")"
    VELK_ROAD_PEER_LOG="$(velk_windows_path "$road_work/peer.log")"
    ${ROAD_DISPLAY:+DISPLAY=$ROAD_DISPLAY}
    "${road_env[@]}"
    wine)
}

# Runs a Windows program on the road; stdin is always /dev/null.
road_wine() {
  road_wine_command
  "${road_command[@]}" "$@" </dev/null
}