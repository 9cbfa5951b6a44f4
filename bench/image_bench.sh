#!/usr/bin/env bash
# Times the ISO image korvo-cli writes of a ~700 MB package against
# `xorriso -as mkisofs -J -R` (and `genisoimage -J -R`) on the same files,
# and `korvo-cli verify N.iso` (read through the image, no mount) against
# `sha256sum -c` on the image's files (mounted read-only where this user may
# mount it, else extracted by xorriso once), warm cache. The tools take
# turns within each run; every image goes to the same folder and is removed
# after its run.
#
# The bench package is made once at ${KORVO_BENCH_IMAGE_TREE:-/tmp/korvo-image-bench}:
# 700 MiB in 1,000 files of random content (64 KiB to 1.3 MiB, in 20
# folders), moved by korvo-cli move --checksums, so that 1/ and 1.sha256
# lie in korvo_pack/1000000000/.
#
#   bench/image_bench.sh            KORVO_BENCH_RUNS=3 by default
#
# Prints each run, then the median wall and CPU time of each tool side by
# side and korvo-cli's time as a multiple of its peer's.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
top="$(cd "$here/.." && pwd)"
tree="${KORVO_BENCH_IMAGE_TREE:-/tmp/korvo-image-bench}"
runs="${KORVO_BENCH_RUNS:-3}"
cli="${KORVO_CLI:-$top/build/bin/korvo-cli}"

"$top/scripts/setup"
if [ -z "${KORVO_CLI:-}" ]; then
  cmake -S "$top" -B "$top/build" >/dev/null
  cmake --build "$top/build" --target korvo-cli -j "$(nproc)" >/dev/null
fi

base="$tree/vol/korvo_pack/1000000000"
package="$base/1"
if [ ! -f "$base/1.sha256" ]; then
  echo "Making the bench package in $tree (once) ..."
  rm -rf "$tree"
  mkdir -p "$tree/src/package" "$tree/vol"
  for ((i = 0; i < 1000; i++)); do
    folder="$tree/src/package/part$((i % 20))"
    mkdir -p "$folder"
    head -c "$((65536 + (i * 7919) % 1310720))" /dev/urandom >"$folder/file$i.bin"
  done
  "$cli" move --limit 1G --checksums --volume-root "$tree/vol" "$tree/src" >/dev/null
fi
bytes="$(find "$package" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%.0f\n", s }')"
out="$tree/images"
mkdir -p "$out"
rm -f "$out"/* "$base/1.iso"

# The files as another reader sees them in the image: mounted where the
# kernel and this user allow it, else extracted once.
"$cli" image "$package" >/dev/null
view="$tree/view"
mkdir -p "$view"
mounted=0
if mount -o loop,ro -t iso9660 "$base/1.iso" "$view" 2>/dev/null; then
  mounted=1
  trap 'umount "$view"' EXIT
else
  rm -rf "$view" && mkdir -p "$view"
  xorriso -osirrox on -indev "$base/1.iso" -extract / "$view" >/dev/null 2>&1
fi
(cd "$view" && sha256sum -c --quiet 1.sha256)
"$cli" verify "$base/1.iso" >/dev/null
find "$package" -type f -exec cat {} + >/dev/null
cat "$base/1.iso" >/dev/null

log="$(mktemp)"
median() {
  sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# run_once NAME RECORD FOLDER COMMAND...: runs the command once in FOLDER,
# prints the run and appends "wall cpu" to RECORD.
run_once() {
  local name="$1" record="$2" folder="$3"
  shift 3
  (cd "$folder" && /usr/bin/time -f '%e %U %S' -o "$log" "$@" >/dev/null 2>&1)
  local wall user system cpu
  read -r wall user system <"$log"
  cpu="$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')"
  printf '  %-34s wall %6.2f s, cpu %6.2f s\n' "$name" "$wall" "$cpu"
  echo "$wall $cpu" >>"$record"
}

names=("korvo-cli image (ISO)" "xorriso -as mkisofs -J -R" "genisoimage -J -R"
       "korvo-cli verify N.iso" "sha256sum -c on the image's files")
records=()
for i in "${!names[@]}"; do records+=("$(mktemp)"); done
echo "Package: $package, $bytes bytes in $(find "$package" -type f | wc -l) files; $runs runs each, warm cache;" \
  "$(nproc) processors, load average $(cut -d' ' -f1-3 /proc/loadavg)."
echo "sha256sum reads the image's files $([ "$mounted" = 1 ] && echo "mounted read-only" || echo "as xorriso extracted them (no mount here)")."
for ((run = 1; run <= runs; run++)); do
  echo "  run $run, load average $(cut -d' ' -f1 /proc/loadavg)"
  rm -f "$base/1.iso"
  run_once "${names[0]}" "${records[0]}" "$base" "$cli" image "$package"
  run_once "${names[1]}" "${records[1]}" "$base" xorriso -as mkisofs -J -R -V PACKAGE_1 -o "$out/xorriso.iso" "$package"
  run_once "${names[2]}" "${records[2]}" "$base" genisoimage -J -R -V PACKAGE_1 -o "$out/genisoimage.iso" "$package"
  rm -f "$out"/*
  run_once "${names[3]}" "${records[3]}" "$base" "$cli" verify "$base/1.iso"
  run_once "${names[4]}" "${records[4]}" "$view" sha256sum -c --quiet "$base/1.sha256"
done
rm -f "$log"

echo
printf '%-34s %10s %10s %12s %10s\n' "median" "wall s" "cpu s" "MB/s (wall)" "x peer"
walls=()
for i in "${!names[@]}"; do walls+=("$(cut -d' ' -f1 "${records[$i]}" | median)"); done
peers=(1 1 1 4 4)
for i in "${!names[@]}"; do
  cpu="$(cut -d' ' -f2 "${records[$i]}" | median)"
  awk -v name="${names[$i]}" -v b="$bytes" -v w="${walls[$i]}" -v c="$cpu" -v ref="${walls[${peers[$i]}]}" \
    'BEGIN { printf "%-34s %10.2f %10.2f %12.0f %10.2f\n", name, w, c, b / 1e6 / w, w / ref }'
  rm -f "${records[$i]}"
done
echo "(x peer: the image writers against xorriso, verify against sha256sum -c.)"
