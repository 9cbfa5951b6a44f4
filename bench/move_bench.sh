#!/usr/bin/env bash
# Times `korvo-cli move` (journal, identity checks, listings, syncs) against
# a plain loop that does only what any move must: lstat and rename each item
# into numbered folders of the same sizes. The tree is 100,000 sparse files
# of 2 MiB each (so they take no space), moved in packages of the CD order.
#
#   bench/move_bench.sh              KORVO_BENCH_RUNS=3 by default
#   KORVO_CLI_BEFORE=/path/to/korvo-cli bench/move_bench.sh
#                                    also times an older korvo-cli, so that
#                                    the cost of the journal and syncs shows
#
# Each run makes the tree anew in ${KORVO_BENCH_MOVE_DIR:-/tmp/korvo-move-bench}
# (same file system for the source and the packages, as a move needs) and
# the tools take turns. Prints every run, then the median wall and CPU time
# of each and korvo-cli's ratio to the plain loop.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
top="$(cd "$here/.." && pwd)"
dir="${KORVO_BENCH_MOVE_DIR:-/tmp/korvo-move-bench}"
runs="${KORVO_BENCH_RUNS:-3}"
items="${KORVO_BENCH_MOVE_ITEMS:-100000}"
cli="${KORVO_CLI:-$top/build/bin/korvo-cli}"
before="${KORVO_CLI_BEFORE:-}"

if [ -z "${KORVO_CLI:-}" ]; then
  cmake -S "$top" -B "$top/build" >/dev/null
  cmake --build "$top/build" --target korvo-cli -j "$(nproc)" >/dev/null
fi

make_tree() {
  rm -rf "$dir"
  mkdir -p "$dir/src" "$dir/vol"
  python3 - "$dir/src" "$items" <<'PY'
import os, sys
folder, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    with open(os.path.join(folder, "f%06d" % i), "wb") as f:
        f.truncate(2 * 1024 * 1024)
PY
  sync
}

# The plain loop: the package sizes korvo-cli plans (a dry run's folders),
# then lstat and rename per item; mkdir per package.
loop="$(mktemp --suffix=.py)"
cat >"$loop" <<'PY'
import os, sys
src, dst, plan = sys.argv[1], sys.argv[2], sys.argv[3]
os.makedirs(dst)
sizes = [int(n) for n in open(plan).read().split()]
names = sorted(os.listdir(src))
at = 0
for number, size in enumerate(sizes, 1):
    folder = os.path.join(dst, str(number))
    os.mkdir(folder)
    for name in names[at:at + size]:
        os.lstat(os.path.join(src, name))
        os.rename(os.path.join(src, name), os.path.join(folder, name))
    at += size
PY

median() {
  sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

log="$(mktemp)"
plan="$(mktemp)"
times="$(mktemp)"
trap 'rm -f "$log" "$plan" "$times" "$loop"; rm -rf "$dir"' EXIT

# run_once NAME COMMAND...: times the command on a fresh tree.
run_once() {
  local name="$1"
  shift
  make_tree
  /usr/bin/time -f '%e %U %S' -o "$times" "$@" >/dev/null 2>&1
  read -r wall user sys <"$times"
  local cpu
  cpu="$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')"
  printf '  %-14s %7.2f s wall %7.2f s cpu\n' "$name" "$wall" "$cpu"
  echo "$name $wall $cpu" >>"$log"
}

make_tree
"$cli" move --order CD --sort name-asc --dry-run --json --volume-root "$dir/vol" "$dir/src" |
  python3 -c 'import json,sys; print(" ".join(str(len(p["items"])) for p in json.load(sys.stdin)["packages"]))' >"$plan"
echo "$items items of 2 MiB (sparse) in $(wc -w <"$plan") packages of the CD order; $runs runs; load: $(cut -d' ' -f1-3 /proc/loadavg)"
for ((run = 1; run <= runs; run++)); do
  echo "run $run"
  run_once korvo-cli "$cli" move --order CD --sort name-asc --listing --volume-root "$dir/vol" "$dir/src"
  if [ -n "$before" ]; then
    run_once before "$before" move --order CD --sort name-asc --listing --volume-root "$dir/vol" "$dir/src"
  fi
  run_once "plain loop" python3 "$loop" "$dir/src" "$dir/vol/bare" "$plan"
done

echo
printf '%-14s %10s %10s %14s\n' tool "wall (s)" "cpu (s)" "wall / loop"
loop_wall="$(awk '$1 == "plain" { print $3 }' "$log" | median)"
for name in korvo-cli before "plain loop"; do
  key="${name%% *}"
  grep -q "^$key " "$log" || continue
  wall="$(awk -v k="$key" '$1 == k { print ($1 == "plain") ? $3 : $2 }' "$log" | median)"
  cpu="$(awk -v k="$key" '$1 == k { print ($1 == "plain") ? $4 : $3 }' "$log" | median)"
  printf '%-14s %10.2f %10.2f %13.2fx\n' "$name" "$wall" "$cpu" "$(awk -v a="$wall" -v b="$loop_wall" 'BEGIN { print a / b }')"
done
