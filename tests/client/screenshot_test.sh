#!/usr/bin/env bash
# Runs the client from its run folder on a private X server, in a Wine prefix
# of this test's own, through scripts/run, and checks the picture of its
# window: the window's size (400 x 740 at 96 DPI, caption and frame
# included, since Wine draws them) and not blank.
#
#   screenshot_test.sh SOURCE-ROOT RUN-FOLDER WORK-FOLDER
set -euo pipefail
root=$1
folder=$2
work=$3
png=$work/screenshot.png

mkdir -p "$work"
rm -f "$png"
env -u DISPLAY -u WAYLAND_DISPLAY "$root/scripts/run" --no-build \
  --screenshot-only --folder="$folder" --screenshot="$png" \
  --prefix="$work/prefix"

size=$(identify -format '%wx%h' "$png")
if [ "$size" != "400x740" ]; then
  echo "FAIL: the picture is $size, the window 400x740"
  exit 1
fi
# A blank picture has one colour; the caption alone (gradient, icon, title,
# buttons) has dozens.
colours=$(identify -format '%k' "$png")
caption_colours=$(convert "$png" -crop 400x24+0+0 +repage -format '%k' info:)
echo "$colours colours, $caption_colours in the caption"
if [ "$caption_colours" -lt 8 ]; then
  echo "FAIL: the caption is not drawn"
  exit 1
fi
