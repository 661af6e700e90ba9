#!/bin/sh
# SPDX-License-Identifier: MIT
# Stands in for systemctl in the setup tests: appends its arguments to
# "calls" beside itself and keeps the unit's state in "state". "mode" makes it
# fail as a session without a user manager ("nobus") or a system without the
# unit ("nounit") does.
dir=$(dirname "$0")
echo "$*" >> "$dir/calls"
mode=$(cat "$dir/mode" 2>/dev/null)
if [ "$mode" = nobus ]; then
    echo "Failed to connect to bus: No medium found" >&2
    exit 1
fi
if [ "$mode" = nounit ]; then
    case "$2" in
        is-enabled) echo "Failed to get unit file state for $3: No such file or directory" >&2 ;;
        *) echo "Failed to $2 unit: Unit file $4 does not exist." >&2 ;;
    esac
    exit 1
fi
case "$2" in
    is-enabled)
        state=$(cat "$dir/state" 2>/dev/null || echo disabled)
        echo "$state"
        [ "$state" = enabled ]
        ;;
    enable) echo enabled > "$dir/state" ;;
    disable) echo disabled > "$dir/state" ;;
    *) exit 1 ;;
esac
