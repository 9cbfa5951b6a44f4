#!/usr/bin/env bash
# Times `korvo-cli scan` on one thread and on its default number of threads
# against `du -s` and gdu (a parallel disk-usage scanner from Debian's
# packages) on the benchmark tree: 1,000,000 sparse files in 50,000 folders,
# made once by make_tree.py. Then the same on a chain of 20,000 nested
# folders with a file each (made once by make_chain.py beside the tree, at
# ${KORVO_BENCH_TREE}-chain), whose deepest paths are far longer than the
# system takes in one call.
#
#   bench/scan_bench.sh            RUNS=3 by default
#   KORVO_BENCH_RUNS=5 bench/scan_bench.sh
#   KORVO_BENCH_TREE=/other/place bench/scan_bench.sh
#
# Warm cache always; cold cache too when run as root on a system that lets
# it drop the page cache (sync, then 3 into /proc/sys/vm/drop_caches before
# each run). Prints, for each tool, the median wall time of the runs, its
# ratio to du -s, the median CPU time (user + system) and the peak memory
# (maximum resident set size) per file, all from /usr/bin/time -v.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
top="$(cd "$here/.." && pwd)"
tree="${KORVO_BENCH_TREE:-/tmp/korvo-bench-tree}"
runs="${KORVO_BENCH_RUNS:-3}"
cli="${KORVO_CLI:-$top/build/bin/korvo-cli}"

"$top/scripts/setup" python3 gdu
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

# Drops the page cache, dentries and inodes; false where that is not allowed.
drop_caches() {
  sync && { echo 3 >/proc/sys/vm/drop_caches; } 2>/dev/null
}

# measure COLD NAME COMMAND...: runs the command $runs times (after dropping
# the caches each time when COLD is "cold"), prints one line per run and
# leaves "median_wall median_cpu peak_kib" in $result.
measure() {
  local cold="$1" name="$2"
  shift 2
  local walls=() cpus=() peaks=() i
  for ((i = 1; i <= runs; i++)); do
    [ "$cold" = cold ] && drop_caches
    /usr/bin/time -v -o "$log" "$@" >/dev/null
    local wall cpu peak
    wall="$(awk -F': ' '/Elapsed \(wall clock\)/ {
              n = split($2, p, ":"); s = 0; for (j = 1; j <= n; j++) s = s * 60 + p[j]; print s }' "$log")"
    cpu="$(awk -F': ' '/User time|System time/ { s += $2 } END { print s }' "$log")"
    peak="$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$log")"
    printf '  %-26s run %d: wall %6.2f s, cpu %6.2f s, peak %8d KiB\n' "$name" "$i" "$wall" "$cpu" "$peak"
    walls+=("$wall")
    cpus+=("$cpu")
    peaks+=("$peak")
  done
  result="$(printf '%s\n' "${walls[@]}" | median) $(printf '%s\n' "${cpus[@]}" | median) \
$(printf '%s\n' "${peaks[@]}" | sort -g | tail -1)"
}

# compare COLD FOLDER FILES: every tool on one folder, then a table.
compare() {
  local cold="$1" folder="$2" count="$3"
  local names=("du -s" "gdu" "korvo-cli scan, 1 thread" "korvo-cli scan")
  local commands=("du -s $folder" "gdu -n -p -s $folder" "$cli scan --threads 1 $folder" "$cli scan $folder")
  local rows=()
  for i in "${!names[@]}"; do
    # shellcheck disable=SC2086 # the commands are word lists
    measure "$cold" "${names[$i]}" ${commands[$i]}
    rows+=("${names[$i]}|$result")
  done
  echo
  printf '%-26s %9s %9s %9s %12s %16s\n' "" "wall (s)" "x du -s" "cpu (s)" "peak (KiB)" "peak bytes/file"
  local du_wall
  du_wall="$(cut -d' ' -f1 <<<"${rows[0]#*|}")"
  for row in "${rows[@]}"; do
    read -r wall cpu peak <<<"${row#*|}"
    awk -v name="${row%%|*}" -v wall="$wall" -v cpu="$cpu" -v peak="$peak" -v du="$du_wall" -v files="$count" \
      'BEGIN { printf "%-26s %9.2f %9.2f %9.2f %12d %16.1f\n", name, wall, (du > 0 ? wall / du : 0), cpu, peak,
               peak * 1024 / files }'
  done
}

echo "Tree: $tree ($files files), $runs runs each; $(nproc) processors; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "Warm cache"
compare warm "$tree" "$files"

echo
if [ "$(id -u)" -eq 0 ] && drop_caches; then
  echo "Cold cache (page cache, dentries and inodes dropped before each run)"
  compare cold "$tree" "$files"
  "$cli" scan "$tree" >/dev/null # warm again for what follows
else
  echo "Cold cache: skipped (dropping the page cache needs root and a writable /proc/sys/vm/drop_caches)"
fi

echo
echo "Chain: $chain (20,000 levels), warm cache"
"$cli" scan "$chain" >/dev/null
compare warm "$chain" 20000
