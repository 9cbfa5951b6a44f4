#!/usr/bin/env bash
# Times `korvo-cli scan` against `du -s` on the benchmark tree (1,000,000
# sparse files in 50,000 folders, made once by make_tree.py), warm cache,
# and on a chain of 20,000 nested folders with a file each (made once by
# make_chain.py beside the tree, at ${KORVO_BENCH_TREE}-chain), whose deepest
# paths are far longer than the system takes in one call.
#
#   bench/scan_bench.sh            RUNS=3 by default
#   KORVO_BENCH_RUNS=5 bench/scan_bench.sh
#   KORVO_BENCH_TREE=/other/place bench/scan_bench.sh
#
# Prints, for each tool, the median wall time of the runs, files per second,
# the median CPU time (user + system; steadier than wall time on a busy
# machine) and peak memory (maximum resident set size) per file, all from
# /usr/bin/time -v.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
top="$(cd "$here/.." && pwd)"
tree="${KORVO_BENCH_TREE:-/tmp/korvo-bench-tree}"
runs="${KORVO_BENCH_RUNS:-3}"
cli="${KORVO_CLI:-$top/build/bin/korvo-cli}"

"$top/scripts/setup" python3
if [ -z "${KORVO_CLI:-}" ]; then
  cmake -S "$top" -B "$top/build" >/dev/null
  cmake --build "$top/build" --target korvo-cli -j "$(nproc)" >/dev/null
fi

python3 "$here/make_tree.py" "$tree"
chain="${tree%/}-chain"
python3 "$here/make_chain.py" "$chain"

# The number of files, from the scan itself; this run also warms the cache.
files="$("$cli" scan --json "$tree" | sed -n 's/^ *"totalFileCount": \([0-9]*\).*/\1/p')"
du -s "$tree" >/dev/null
if [ -z "$files" ] || [ "$files" -le 0 ]; then
  echo "scan_bench: could not count the files of $tree" >&2
  exit 1
fi

log="$(mktemp)"
trap 'rm -f "$log"' EXIT

median() {
  sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# measure NAME COMMAND...: runs the command $runs times, prints one line per
# run and leaves "median_wall median_cpu peak_kib" in $result.
measure() {
  local name="$1"
  shift
  local walls=() cpus=() peaks=()
  for ((i = 1; i <= runs; i++)); do
    /usr/bin/time -v -o "$log" "$@" >/dev/null
    local wall cpu peak
    wall="$(awk -F': ' '/Elapsed \(wall clock\)/ {
              n = split($2, p, ":"); s = 0; for (j = 1; j <= n; j++) s = s * 60 + p[j]; print s }' "$log")"
    cpu="$(awk -F': ' '/User time|System time/ { s += $2 } END { print s }' "$log")"
    peak="$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$log")"
    printf '  %-14s run %d: wall %6.2f s, cpu %6.2f s, peak %8d KiB\n' "$name" "$i" "$wall" "$cpu" "$peak"
    walls+=("$wall")
    cpus+=("$cpu")
    peaks+=("$peak")
  done
  result="$(printf '%s\n' "${walls[@]}" | median) $(printf '%s\n' "${cpus[@]}" | median) \
$(printf '%s\n' "${peaks[@]}" | sort -g | tail -1)"
}

echo "Tree: $tree ($files files), $runs runs each, warm cache; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
measure "du -s" du -s "$tree"
read -r du_wall du_cpu du_peak <<<"$result"
measure "korvo-cli scan" "$cli" scan "$tree"
read -r scan_wall scan_cpu scan_peak <<<"$result"

echo
printf '%-16s %10s %12s %10s %12s %16s\n' "" "wall (s)" "files/s" "cpu (s)" "peak (KiB)" "peak bytes/file"
row() {
  awk -v name="$1" -v wall="$2" -v cpu="$3" -v peak="$4" -v files="$files" 'BEGIN {
    printf "%-16s %10.2f %12.0f %10.2f %12d %16.1f\n", name, wall, (wall > 0 ? files / wall : 0), cpu, peak,
           peak * 1024 / files }'
}
row "du -s" "$du_wall" "$du_cpu" "$du_peak"
row "korvo-cli scan" "$scan_wall" "$scan_cpu" "$scan_peak"
awk -v a="$scan_wall" -v b="$du_wall" -v c="$scan_cpu" -v d="$du_cpu" 'BEGIN {
  if (b > 0 && d > 0)
    printf "\nkorvo-cli scan / du -s (medians): %.2f x the wall time, %.2f x the cpu time.\n", a / b, c / d }'

echo
echo "Chain: $chain (20,000 levels), $runs runs each, warm cache"
"$cli" scan "$chain" >/dev/null
measure "du -s" du -s "$chain"
read -r chain_du_wall chain_du_cpu chain_du_peak <<<"$result"
measure "korvo-cli scan" "$cli" scan "$chain"
read -r chain_wall chain_cpu chain_peak <<<"$result"
echo
printf '%-16s %10s %10s %12s\n' "" "wall (s)" "cpu (s)" "peak (KiB)"
printf '%-16s %10.2f %10.2f %12d\n' "du -s" "$chain_du_wall" "$chain_du_cpu" "$chain_du_peak"
printf '%-16s %10.2f %10.2f %12d\n' "korvo-cli scan" "$chain_wall" "$chain_cpu" "$chain_peak"
