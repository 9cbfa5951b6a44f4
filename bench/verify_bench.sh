#!/usr/bin/env bash
# Times `korvo-cli verify` against `sha256sum -c` on the same 2 GB of files,
# warm cache, and the SHA-256 implementations on their own.
#
# The bench tree is made once at ${KORVO_BENCH_VERIFY_TREE:-/tmp/korvo-verify-bench}:
# the folder package/ with 300 files of random content (2 to 12 MiB each,
# 2.2 GB in all, in 10 subfolders) and the manifest package.sha256 beside
# it, written by sha256sum (so korvo-cli also reads sha256sum's own form).
#
#   bench/verify_bench.sh            KORVO_BENCH_RUNS=3 by default
#   KORVO_BENCH_RUNS=5 bench/verify_bench.sh
#
# Prints each run, then the median wall time, the median CPU time (user +
# system; steadier than wall time on a busy machine) and the throughput of
# each tool side by side, and korvo-cli's share of sha256sum's time. Then
# build/bin/bench_sha256 hashes 256 MiB in memory with every SHA-256
# implementation it was built with.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
top="$(cd "$here/.." && pwd)"
tree="${KORVO_BENCH_VERIFY_TREE:-/tmp/korvo-verify-bench}"
runs="${KORVO_BENCH_RUNS:-3}"
cli="${KORVO_CLI:-$top/build/bin/korvo-cli}"

"$top/scripts/setup"
if [ -z "${KORVO_CLI:-}" ]; then
  cmake -S "$top" -B "$top/build" >/dev/null
  cmake --build "$top/build" --target korvo-cli bench_sha256 -j "$(nproc)" >/dev/null
fi

if [ ! -f "$tree/package.sha256" ]; then
  echo "Making the bench tree in $tree (once) ..."
  rm -rf "$tree"
  mkdir -p "$tree/package"
  for ((i = 0; i < 300; i++)); do
    folder="$tree/package/part$((i % 10))"
    mkdir -p "$folder"
    head -c "$(((2 + (i * 7) % 11) * 1048576))" /dev/urandom >"$folder/file$i.bin"
  done
  (cd "$tree/package" && find . -type f -print0 | sort -z | xargs -0 sha256sum) >"$tree/package.sha256.part"
  mv "$tree/package.sha256.part" "$tree/package.sha256"
fi
bytes="$(find "$tree/package" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%.0f\n", s }')"
# Warm the cache, and check that both tools agree before timing them.
cat "$tree"/package/*/* >/dev/null
"$cli" verify "$tree/package" >/dev/null
(cd "$tree/package" && sha256sum -c --quiet ../package.sha256)

log="$(mktemp)"
trap 'rm -f "$log"' EXIT

median() {
  sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# measure NAME COMMAND...: runs the command $runs times in the package
# folder and leaves "median_wall median_cpu" in $result.
measure() {
  local name="$1"
  shift
  local walls=() cpus=()
  for ((i = 1; i <= runs; i++)); do
    (cd "$tree/package" && /usr/bin/time -f '%e %U %S' -o "$log" "$@" >/dev/null)
    local wall cpu
    read -r wall user system <"$log"
    cpu="$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')"
    printf '  %-16s run %d: wall %6.2f s, cpu %6.2f s\n' "$name" "$i" "$wall" "$cpu"
    walls+=("$wall")
    cpus+=("$cpu")
  done
  result="$(printf '%s\n' "${walls[@]}" | median) $(printf '%s\n' "${cpus[@]}" | median)"
}

echo "Tree: $tree/package, $bytes bytes in 300 files; $runs runs each, warm cache."
measure "korvo-cli verify" "$cli" verify . ../package.sha256
read -r korvo_wall korvo_cpu <<<"$result"
measure "sha256sum -c" sha256sum -c --quiet ../package.sha256
read -r sum_wall sum_cpu <<<"$result"

echo
printf '%-18s %10s %10s %12s\n' "median" "wall s" "cpu s" "MB/s (wall)"
awk -v b="$bytes" -v kw="$korvo_wall" -v kc="$korvo_cpu" -v sw="$sum_wall" -v sc="$sum_cpu" 'BEGIN {
  printf "%-18s %10.2f %10.2f %12.0f\n", "korvo-cli verify", kw, kc, b / 1e6 / kw
  printf "%-18s %10.2f %10.2f %12.0f\n", "sha256sum -c", sw, sc, b / 1e6 / sw
  printf "korvo-cli takes %.2fx the wall time and %.2fx the CPU time of sha256sum.\n", kw / sw, kc / sc
}'
echo
"$top/build/bin/bench_sha256"
