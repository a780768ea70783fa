#!/usr/bin/env bash
# Configures and builds one tree. Usage: scripts/build.sh <build-dir> [extra cmake arguments]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALOOM_WERROR=ON -DTESSALOOM_TESTS=ON -DTESSALOOM_BENCH=ON "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
