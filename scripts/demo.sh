#!/usr/bin/env bash
# The program's main job on our stand-ins: a local update server on 127.0.0.1 serving a demo
# catalogue, and the updater listing, fetching and storing builds from it.
# Installs what is missing and builds first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target updater update_server -j"$(nproc)" >/dev/null
bin="$root/build/bin"

work=$(mktemp -d)
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Requests go to 127.0.0.1 only; no proxy may take them elsewhere.
unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY
export no_proxy='*'

mkdir -p "$work/server"
"$bin/update_server" --demo "$work/server" --quiet >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
for _ in $(seq 100); do
  grep -q '^listening on ' "$work/server.out" 2>/dev/null && break
  sleep 0.05
done
url=$(sed -n 's/^listening on //p' "$work/server.out")
[ -n "$url" ] || { echo "the local update server did not start:"; cat "$work/server.err"; exit 1; }
echo "local update server: $url"

run() {
  echo
  echo "\$ updater $*"
  "$bin/updater" -i "$work" -u "$url" "$@"
}
run -B -d 40F5849A
run -G -d 40F5849A
run -G -d 40F5849A -b 1200
run -L -d 40F5849A
run -J -d 40F5849A
echo
echo "store: $(cd "$work/updater" && find . -type f | sort | tr '\n' ' ')"
