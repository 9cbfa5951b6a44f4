#!/usr/bin/env bash
# Times `korvo-cli scan` on one thread and on its default number of threads
# against the limit of the machine, a bare walk in C (bench_barewalk: two
# threads, getdents64 and statx relative to open folder descriptors, no
# allocation per entry), and against `du -s` and gdu (a parallel disk-usage
# scanner from Debian's packages). Three trees, made once:
#   - 1,000,000 sparse files in 50,000 folders (make_tree.py);
#   - one folder of 300,000 files (make_tree.py --folders 0), at
#     ${KORVO_BENCH_TREE}-flat;
#   - a chain of 20,000 nested folders with a file each (make_chain.py), at
#     ${KORVO_BENCH_TREE}-chain, whose deepest paths are far longer than the
#     system takes in one call.
#
#   bench/scan_bench.sh            RUNS=3 by default
#   KORVO_BENCH_RUNS=5 bench/scan_bench.sh
#   KORVO_BENCH_TREE=/other/place bench/scan_bench.sh
#   KORVO_BENCH_COLD=no bench/scan_bench.sh       warm cache only
#   KORVO_CLI=... KORVO_BARE_WALK=... bench/scan_bench.sh   built programs, no build
#
# The tools take turns within each run (bare walk, du, gdu, korvo, bare walk,
# ...), so that a load that comes and goes on a shared machine falls on all
# of them alike. Warm cache always; cold cache too for the big tree when run
# as root on a system that lets it drop the page cache (sync, then 3 into
# /proc/sys/vm/drop_caches before each run). Prints, for each tool, the
# median wall time, its ratio to the bare walk and to du -s, the median CPU
# time (user + system) and the peak memory (maximum resident set size) per
# file, all from /usr/bin/time -v.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
top="$(cd "$here/.." && pwd)"
tree="${KORVO_BENCH_TREE:-/tmp/korvo-bench-tree}"
runs="${KORVO_BENCH_RUNS:-3}"
cli="${KORVO_CLI:-$top/build/bin/korvo-cli}"

"$top/scripts/setup" python3 gdu
if [ -z "${KORVO_CLI:-}" ]; then
  cmake -S "$top" -B "$top/build" >/dev/null
  cmake --build "$top/build" --target korvo-cli bench_barewalk -j "$(nproc)" >/dev/null
fi
bare="${KORVO_BARE_WALK:-$top/build/bin/bench_barewalk}"

python3 "$here/make_tree.py" "$tree"
chain="${tree%/}-chain"
python3 "$here/make_chain.py" "$chain"
flat="${tree%/}-flat"
python3 "$here/make_tree.py" "$flat" --files 300000 --folders 0

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

# run_once COLD NAME COMMAND...: runs the command once (after dropping the
# caches when COLD is "cold"), prints the run and appends "wall cpu peak" to
# the tool's record file.
run_once() {
  local cold="$1" name="$2" record="$3"
  shift 3
  [ "$cold" = cold ] && drop_caches
  /usr/bin/time -v -o "$log" "$@" >/dev/null
  local wall cpu peak
  wall="$(awk -F': ' '/Elapsed \(wall clock\)/ {
            n = split($2, p, ":"); s = 0; for (j = 1; j <= n; j++) s = s * 60 + p[j]; print s }' "$log")"
  cpu="$(awk -F': ' '/User time|System time/ { s += $2 } END { print s }' "$log")"
  peak="$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$log")"
  printf '  %-26s wall %6.2f s, cpu %6.2f s, peak %8d KiB\n' "$name" "$wall" "$cpu" "$peak"
  echo "$wall $cpu $peak" >>"$record"
}

# compare COLD FOLDER FILES: every tool on one folder, taking turns in each
# of the $runs runs, then a table of the medians.
compare() {
  local cold="$1" folder="$2" count="$3"
  local names=("bare walk (C, 2 threads)" "du -s" "gdu" "korvo-cli scan, 1 thread" "korvo-cli scan")
  local commands=("$bare $folder" "du -s $folder" "gdu -n -p -s $folder" "$cli scan --threads 1 $folder"
                  "$cli scan $folder")
  local records=() i run
  for i in "${!names[@]}"; do
    records+=("$(mktemp)")
  done
  for ((run = 1; run <= runs; run++)); do
    echo "  run $run, load average $(cut -d' ' -f1 /proc/loadavg)"
    for i in "${!names[@]}"; do
      # shellcheck disable=SC2086 # the commands are word lists
      run_once "$cold" "${names[$i]}" "${records[$i]}" ${commands[$i]}
    done
  done
  echo
  printf '%-26s %9s %9s %9s %9s %12s %16s\n' "" "wall (s)" "x bare" "x du -s" "cpu (s)" "peak (KiB)" \
    "peak bytes/file"
  local rows=() wall cpu peak
  for i in "${!names[@]}"; do
    wall="$(cut -d' ' -f1 "${records[$i]}" | median)"
    cpu="$(cut -d' ' -f2 "${records[$i]}" | median)"
    peak="$(cut -d' ' -f3 "${records[$i]}" | sort -g | tail -1)"
    rows+=("$wall $cpu $peak")
    rm -f "${records[$i]}"
  done
  local bare_wall du_wall
  bare_wall="$(cut -d' ' -f1 <<<"${rows[0]}")"
  du_wall="$(cut -d' ' -f1 <<<"${rows[1]}")"
  for i in "${!names[@]}"; do
    read -r wall cpu peak <<<"${rows[$i]}"
    awk -v name="${names[$i]}" -v wall="$wall" -v cpu="$cpu" -v peak="$peak" -v bare="$bare_wall" \
      -v du="$du_wall" -v files="$count" \
      'BEGIN { printf "%-26s %9.2f %9.2f %9.2f %9.2f %12d %16.1f\n", name, wall, (bare > 0 ? wall / bare : 0),
               (du > 0 ? wall / du : 0), cpu, peak, peak * 1024 / files }'
  done
}

echo "Tree: $tree ($files files), $runs runs each; $(nproc) processors; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "Warm cache"
compare warm "$tree" "$files"

echo
if [ "${KORVO_BENCH_COLD:-yes}" = no ]; then
  echo "Cold cache: skipped (KORVO_BENCH_COLD=no)"
elif [ "$(id -u)" -eq 0 ] && drop_caches; then
  echo "Cold cache (page cache, dentries and inodes dropped before each run)"
  compare cold "$tree" "$files"
  "$cli" scan "$tree" >/dev/null # warm again for what follows
else
  echo "Cold cache: skipped (dropping the page cache needs root and a writable /proc/sys/vm/drop_caches)"
fi

echo
echo "One folder: $flat (300,000 files), warm cache"
"$cli" scan "$flat" >/dev/null
compare warm "$flat" 300000

echo
echo "Chain: $chain (20,000 levels), warm cache"
"$cli" scan "$chain" >/dev/null
compare warm "$chain" 20000
