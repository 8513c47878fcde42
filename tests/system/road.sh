#!/usr/bin/env bash
# Runs one Windows program on a machine of its own: a network namespace in
# which a tun device "TovraneVPN" stands for the tunnel interface, held by
# the peer (peer.py) that answers the tunnel's datagrams to 10.77.0.1, and a
# fresh Wine prefix whose wineserver runs inside that namespace.
#
#   road.sh [options] [--] PROGRAM [ARGS...]
#
#   --peer=answer|silent|none   how the peer starts (answer); none: no device
#   --peer-silent-after=S       the peer answers for S seconds, then no more
#   --copy=FILE                 put FILE into the program folder (repeatable)
#   --folder=PATH               the program folder under C:\ (Program Files/Velk VPN)
#   --env=NAME=VALUE            set NAME for the program (repeatable)
#   --timeout=S                 end the program after S seconds (300)
#   --keep                      keep the work folder afterwards: logs, and in
#                               overlay/upper what the run changed in the prefix
#
# PROGRAM, when a file, is copied into the program folder and run from
# there; otherwise it names a program the folder or Wine already has. The
# program folder is "C:\Program Files\Velk VPN" of the prefix unless given:
# a space in the path the service runs, as on a real machine. The program
# sees:
#   VELK_ROAD_FOLDER        the program folder (Windows path)
#   VELK_ROAD_WORK          the work folder on the Linux side, as a Z: path
#   VELK_ROAD_PEER_CONTROL  write "silent" or "answer" here to switch the peer
#   VELK_ROAD_PEER_LOG      the peer's log: one line per datagram
# The exit code is the program's; 77 when the machine cannot give a test its
# own network (no root, no /dev/net/tun, no ip). Everything this script
# creates is removed on every way out, and a later run also removes what a
# killed run left behind.
#
# The road itself is made by scripts/lib/road.sh, which scripts/run shares.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/road.sh"

road_main() {
  local peer_mode=answer silent_after="" timeout=300 copies=() program status
  while [ $# -gt 0 ]; do
    case $1 in
      --peer=*) peer_mode=${1#*=} ;;
      --peer-silent-after=*) silent_after=${1#*=} ;;
      --copy=*) copies+=("${1#*=}") ;;
      --timeout=*) timeout=${1#*=} ;;
      --folder=*) road_folder_name=${1#*=} ;;
      --env=*) road_env+=("${1#*=}") ;;
      --keep) road_keep=1 ;;
      --) shift; break ;;
      -*) road_say "unknown option $1"; return 2 ;;
      *) break ;;
    esac
    shift
  done
  [ $# -ge 1 ] || { road_say "no program given"; return 2; }
  case $peer_mode in answer | silent | none) ;; *)
    road_say "unknown peer mode $peer_mode"; return 2 ;;
  esac

  local missing
  missing=$(road_missing)
  if [ -n "$missing" ]; then
    road_say "skipped: $missing"
    return 77
  fi
  unset DISPLAY WAYLAND_DISPLAY
  trap 'road_teardown' EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  trap 'exit 129' HUP
  road_setup "$peer_mode" "$silent_after" || { road_say "setup failed"; return 1; }

  [ ${#copies[@]} -gt 0 ] && { road_copy "${copies[@]}" || return 1; }
  program=$1
  shift
  if [ -f "$program" ]; then
    road_copy "$program" || return 1
    program="$(road_folder_windows)\\$(basename "$program")"
  fi
  # In the background, so that a signal to this script is handled at once.
  road_wine_command
  timeout --kill-after=5 "$timeout" "${road_command[@]}" "$program" "$@" \
    </dev/null &
  road_program_pid=$!
  wait "$road_program_pid"
  status=$?
  road_program_pid=""
  [ $status -eq 124 ] && road_say "timed out after $timeout s"
  if [ $status -ne 0 ] && [ -s "$road_work/peer.log" ]; then
    road_say "peer log (last lines):"
    tail -n 5 "$road_work/peer.log" >&2
  fi
  road_teardown "$status"
}

road_main "$@"
exit $?
