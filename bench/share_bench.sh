#!/usr/bin/env bash
# Scans through a slow share: delayfs (bench/delayfs.cpp, built from
# libfuse3) passes a tree made here through a FUSE mount that answers every
# request after a fixed delay, with the kernel's caches off, as NFS or SMB
# answer after a round trip. At delays of 0.2, 1 and 3 ms it times
# `korvo-cli scan` (its default, and --threads 64), `du -s` and gdu (a
# parallel disk-usage scanner from Debian's packages) through it, each run
# on a fresh mount, and prints beside each wall time the requests the file
# system answered, the most it had in flight at once, and the floor: those
# requests x the delay / 64 in flight.
#
#   bench/share_bench.sh                        the three delays, 1 run each
#   KORVO_BENCH_RUNS=3 bench/share_bench.sh     the median of 3 runs
#   KORVO_SHARE_DELAYS="1000" bench/share_bench.sh      delays in microseconds
#   KORVO_SHARE_TOOLS="korvo korvo64" bench/share_bench.sh   some of: korvo
#                                               korvo64 du gdu
#   KORVO_BENCH_TREE=/other/place bench/share_bench.sh
#   KORVO_CLI=... KORVO_DELAYFS=... bench/share_bench.sh   built programs, no build
#
# Needs /dev/fuse and the right to mount (root, or fusermount3 for a user);
# says what fails where they are missing. The tree: 11,000 files in 549
# folders (make_tree.py), at ${KORVO_BENCH_TREE:-/tmp/korvo-share-tree}.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
top="$(cd "$here/.." && pwd)"
tree="${KORVO_BENCH_TREE:-/tmp/korvo-share-tree}"
runs="${KORVO_BENCH_RUNS:-1}"
delays="${KORVO_SHARE_DELAYS:-200 1000 3000}"
tools="${KORVO_SHARE_TOOLS:-korvo korvo64 du gdu}"
cli="${KORVO_CLI:-$top/build/bin/korvo-cli}"
delayfs="${KORVO_DELAYFS:-$top/build/bin/delayfs}"

"$top/scripts/setup" python3 pkg-config libfuse3-dev fuse3
have_gdu=yes
if ! "$top/scripts/setup" gdu; then
  echo "share_bench: gdu could not be installed; its rows are left out" >&2
  have_gdu=no
fi
if [ -z "${KORVO_CLI:-}" ] || [ -z "${KORVO_DELAYFS:-}" ]; then
  cmake -S "$top" -B "$top/build" >/dev/null
  cmake --build "$top/build" --target korvo-cli delayfs -j "$(nproc)" >/dev/null
fi

python3 "$here/make_tree.py" "$tree" --files 11000 --folders 549 --depth 6 >/dev/null
mnt="$(mktemp -d /tmp/korvo-share-mount.XXXXXX)"
stats="$(mktemp)"
log="$(mktemp)"
cleanup() {
  mountpoint -q "$mnt" && { fusermount3 -u "$mnt" 2>/dev/null || umount -l "$mnt"; }
  rmdir "$mnt" 2>/dev/null || true
  rm -f "$stats" "$log"
}
trap cleanup EXIT

# mount_share DELAY_US: delayfs over the tree at $mnt, counts to $stats.
mount_share() {
  rm -f "$stats"
  "$delayfs" --delay-us "$1" --stats "$stats" "$tree" "$mnt"
}

# unmount_share: unmounts and waits for delayfs to write its counts.
unmount_share() {
  fusermount3 -u "$mnt" 2>/dev/null || umount "$mnt"
  local i
  for ((i = 0; i < 500; i++)); do
    [ -s "$stats" ] && return 0
    sleep 0.02
  done
  echo "share_bench: delayfs wrote no counts" >&2
  return 1
}

if [ ! -e /dev/fuse ]; then
  echo "share_bench: there is no /dev/fuse here: FUSE file systems cannot be mounted on this machine" >&2
  exit 1
fi
if ! mount_share 0 2>"$log"; then
  echo "share_bench: mounting delayfs at $mnt failed: $(cat "$log")" >&2
  exit 1
fi
unmount_share

median() {
  sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# command_of TOOL: the command line of one tool, scanning the mount.
command_of() {
  case "$1" in
    korvo) echo "$cli scan $mnt" ;;
    korvo64) echo "$cli scan --threads 64 $mnt" ;;
    du) echo "du -s $mnt" ;;
    gdu) echo "gdu -n -p -s $mnt" ;;
  esac
}

label_of() {
  case "$1" in
    korvo) echo "korvo-cli scan" ;;
    korvo64) echo "korvo-cli scan --threads 64" ;;
    du) echo "du -s" ;;
    gdu) echo "gdu -n -p -s" ;;
  esac
}

# run_once DELAY_US TOOL RECORD: one run on a fresh mount; appends
# "wall requests peak" to RECORD.
run_once() {
  local delay="$1" tool="$2" record="$3" wall requests peak
  mount_share "$delay"
  # shellcheck disable=SC2046 # the command is a word list
  /usr/bin/time -f '%e' -o "$log" $(command_of "$tool") >/dev/null
  unmount_share
  wall="$(tail -n 1 "$log")"
  requests="$(awk '$1 == "requests" { print $2 }' "$stats")"
  peak="$(awk '$1 == "in_flight_peak" { print $2 }' "$stats")"
  printf '    %-28s wall %7.2f s, %6d requests, at most %3d in flight\n' "$(label_of "$tool")" "$wall" \
    "$requests" "$peak"
  echo "$wall $requests $peak" >>"$record"
}

echo "Tree: $tree (11,000 files, 549 folders), through delayfs; $runs run(s) each; $(nproc) processors;" \
  "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
selected=()
for tool in $tools; do
  if [ "$tool" = gdu ] && [ "$have_gdu" = no ]; then continue; fi
  selected+=("$tool")
done

for delay in $delays; do
  echo
  echo "Delay $(awk -v d="$delay" 'BEGIN { printf "%g", d / 1000 }') ms per request"
  declare -A records=()
  for tool in "${selected[@]}"; do
    records[$tool]="$(mktemp)"
  done
  for ((run = 1; run <= runs; run++)); do
    echo "  run $run, load average $(cut -d' ' -f1 /proc/loadavg)"
    for tool in "${selected[@]}"; do
      run_once "$delay" "$tool" "${records[$tool]}"
    done
  done
  printf '  %-28s %9s %9s %8s %9s %8s %8s %8s\n' "" "wall (s)" "requests" "in flight" "floor (s)" \
    "x floor" "x du" "x gdu"
  declare -A walls=()
  for tool in "${selected[@]}"; do
    walls[$tool]="$(cut -d' ' -f1 "${records[$tool]}" | median)"
  done
  for tool in "${selected[@]}"; do
    requests="$(cut -d' ' -f2 "${records[$tool]}" | median)"
    peak="$(cut -d' ' -f3 "${records[$tool]}" | sort -g | tail -n 1)"
    awk -v name="$(label_of "$tool")" -v wall="${walls[$tool]}" -v requests="$requests" -v peak="$peak" \
      -v delay="$delay" -v du="${walls[du]:-0}" -v gdu="${walls[gdu]:-0}" \
      'BEGIN { floor = requests * delay / 1e6 / 64
               printf "  %-28s %9.2f %9d %8d %9.2f %8.1f %8.2f %8.2f\n", name, wall, requests, peak, floor,
                      (floor > 0 ? wall / floor : 0), (du > 0 ? wall / du : 0), (gdu > 0 ? wall / gdu : 0) }'
    rm -f "${records[$tool]}"
  done
  unset records walls
done
echo
echo "floor: the requests that scan made x the delay / 64 in flight; x du, x gdu: wall time against theirs"
