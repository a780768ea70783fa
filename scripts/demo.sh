#!/usr/bin/env bash
# The program's main job on our stand-ins. Installs what is missing and builds first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target updater -j"$(nproc)" >/dev/null
updater="$root/build/bin/updater"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "\$ updater -h"
"$updater" -h || true
echo
echo "\$ updater -I -i $work      # prepares the local store"
"$updater" -I -i "$work"
echo "store: $(cd "$work" && find . | sort | tr '\n' ' ')"
