#!/usr/bin/env bash
# Fuzzes the BIRD file reader, the COBS stream and the server reply parsers with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer, each for a bounded time. Usage: scripts/fuzz.sh [seconds each]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
"$root/scripts/deps.sh"

dir="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSALOOM_WERROR=ON -DTESSALOOM_FUZZ=ON -DTESSALOOM_SANITIZE=address,undefined \
  -DTESSALOOM_TESTS=OFF -DTESSALOOM_BENCH=OFF >/dev/null
cmake --build "$dir" --target bird_file_fuzz cobs_stream_fuzz server_reply_fuzz birdwriter -j"$(nproc)"

# Seeds: a generic image whole and broken in every way the writer knows, both as files
# (mode byte 0) and as unpacked images (mode byte 1).
seeds="$dir/seeds"
corpus="$dir/corpus"
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus"
cat >"$seeds/description" <<'DESC'
loader 0x20000000 code:64:1
firmware 0x08000000 code:256:2 flags=1
firmware 0x08000100 code:32:3
offsets 0x08000008 0x08000020
info 1234 2.10.3 0000ABCD XYZ
start 0x20000400
block 3 hex:010203 flags=7
DESC
for kind in $("$dir/bin/birdwriter" -h 2>&1 | tail -n 1 | sed 's/.*one of://'); do
  "$dir/bin/birdwriter" -o "$seeds/file.$kind" --break "$kind" "$seeds/description"
  "$dir/bin/birdwriter" -o "$seeds/image.$kind" --break "$kind" --image "$seeds/description"
  { printf '\000'; cat "$seeds/file.$kind"; } >"$seeds/seed-file-$kind"
  { printf '\001'; cat "$seeds/image.$kind"; } >"$seeds/seed-image-$kind"
  rm "$seeds/file.$kind" "$seeds/image.$kind"
done
rm "$seeds/description"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# run_fuzzer TARGET MAX_LEN CORPUS SEEDS
run_fuzzer() {
  echo "-- $1"
  "$dir/bin/$1" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$2" \
    -print_final_stats=1 "$3" "$4"
}
run_fuzzer bird_file_fuzz 131072 "$corpus" "$seeds"

# COBS seeds: a valid frame, a frame with a bad CRC, and the largest packet.
cobs_seeds="$dir/cobs-seeds"
cobs_corpus="$dir/cobs-corpus"
rm -rf "$cobs_seeds"
mkdir -p "$cobs_seeds" "$cobs_corpus"
printf '\003\021\002\003\063\244\000' >"$cobs_seeds/frame"
printf '\003\021\002\003\063\245\000' >"$cobs_seeds/bad-crc"
printf '\002\034\001\002\003\004\005\006\007\010\011\012\013\014\015\016\017\020\021\022\023\024\025\026\027\030\031\032\033\034' >"$cobs_seeds/packet"
run_fuzzer cobs_stream_fuzz 4096 "$cobs_corpus" "$cobs_seeds"

# Reply seeds: one well-formed answer of each kind.
reply_seeds="$dir/reply-seeds"
reply_corpus="$dir/reply-corpus"
rm -rf "$reply_seeds"
mkdir -p "$reply_seeds" "$reply_corpus"
printf 'ok\n1300\nshuttle\r\n' >"$reply_seeds/query"
printf 'ok\nYmlyZAEBeJwDAAAAAAE=\n' >"$reply_seeds/build"
printf 'ok\n1200;2.10.3\n1300;2.11.0\nab\n1400\n' >"$reply_seeds/list"
printf 'ok\n00ABCDEF\n0x10\n' >"$reply_seeds/recovery"
printf 'ok\neyJh.eyJz.c2ln\r\n' >"$reply_seeds/token"
run_fuzzer server_reply_fuzz 4096 "$reply_corpus" "$reply_seeds"
