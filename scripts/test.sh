#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds with warnings as errors and runs CTest.
#   scripts/test.sh              plain build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#   scripts/test.sh --tsan       ThreadSanitizer build in build-tsan/
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"

dir="$root/build"
extra=()
if [ "${1:-}" = "--sanitize" ]; then
  dir="$root/build-asan"
  extra=(-DTESSALOOM_SANITIZE=address,undefined)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
elif [ "${1:-}" = "--tsan" ]; then
  dir="$root/build-tsan"
  extra=(-DTESSALOOM_SANITIZE=thread)
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/tsan.supp"
fi
"$root/scripts/build.sh" "$dir" "${extra[@]}"
cd "$dir"
ctest --output-on-failure -j"$(nproc)" --timeout 300
