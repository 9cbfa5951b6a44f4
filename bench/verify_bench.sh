#!/usr/bin/env bash
# Two parts, both by default (KORVO_BENCH_PART=speed or memory for one).
#
# speed: times `korvo-cli verify` against `sha256sum -c` and against one
# sequential SHA-256 pass over the same 2 GB of files with `openssl dgst
# -sha256` (the processor's SHA instructions on one core: the time korvo-cli
# must beat by hashing several files at once), warm cache, and the SHA-256
# implementations on their own. The tools take turns within each run.
#
# The bench tree is made once at ${KORVO_BENCH_VERIFY_TREE:-/tmp/korvo-verify-bench}:
# the folder package/ with 300 files of random content (2 to 12 MiB each,
# 2.2 GB in all, in 10 subfolders) and the manifest package.sha256 beside
# it, written by sha256sum (so korvo-cli also reads sha256sum's own form).
#
#   bench/verify_bench.sh            KORVO_BENCH_RUNS=3 by default
#   KORVO_BENCH_RUNS=5 bench/verify_bench.sh
#   KORVO_BENCH_PART=memory bench/verify_bench.sh
#
# Prints each run, then the median wall time, the median CPU time (user +
# system; steadier than wall time on a busy machine) and the throughput of
# each tool side by side, and korvo-cli's share of sha256sum's time. Then
# build/bin/bench_sha256 hashes 256 MiB in memory with every SHA-256
# implementation it was built with.
#
# memory: the peak resident memory (max RSS, from /usr/bin/time) and the
# wall time of `korvo-cli verify` and `korvo-cli verify --json` with a
# manifest of 1,000,000 lines, beside `sha256sum -c` on the same folder,
# one run each after a warming run. Made once at
# ${KORVO_BENCH_VERIFY_MANY:-/tmp/korvo-verify-million} (some two minutes):
# package/ holds 1,000 folders of 1,000 small files (each its own path),
# package.sha256 lists them all in walk order, and empty/ holds nothing, so
# that checked against it every listed file is missing (a wrong disc). The
# limit is 96 MB in either case.
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

log="$(mktemp)"
trap 'rm -f "$log"' EXIT

speed_part() {
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

median() {
  sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# run_once NAME RECORD COMMAND...: runs the command once in the package
# folder, prints the run and appends "wall cpu" to RECORD.
run_once() {
  local name="$1" record="$2"
  shift 2
  (cd "$tree/package" && /usr/bin/time -f '%e %U %S' -o "$log" "$@" >/dev/null)
  local wall user system cpu
  read -r wall user system <"$log"
  cpu="$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')"
  printf '  %-22s wall %6.2f s, cpu %6.2f s\n' "$name" "$wall" "$cpu"
  echo "$wall $cpu" >>"$record"
}

names=("korvo-cli verify" "sha256sum -c" "openssl dgst -sha256")
files=()
while IFS= read -r -d '' file; do files+=("$file"); done < <(cd "$tree/package" && find . -type f -print0 | sort -z)
records=()
for i in "${!names[@]}"; do records+=("$(mktemp)"); done
echo "Tree: $tree/package, $bytes bytes in ${#files[@]} files; $runs runs each, warm cache;" \
  "$(nproc) processors, load average $(cut -d' ' -f1-3 /proc/loadavg)."
for ((run = 1; run <= runs; run++)); do
  echo "  run $run, load average $(cut -d' ' -f1 /proc/loadavg)"
  run_once "${names[0]}" "${records[0]}" "$cli" verify . ../package.sha256
  run_once "${names[1]}" "${records[1]}" sha256sum -c --quiet ../package.sha256
  run_once "${names[2]}" "${records[2]}" openssl dgst -sha256 "${files[@]}"
done

echo
printf '%-22s %10s %10s %12s %14s\n' "median" "wall s" "cpu s" "MB/s (wall)" "x openssl dgst"
walls=()
for i in "${!names[@]}"; do
  walls+=("$(cut -d' ' -f1 "${records[$i]}" | median)")
done
for i in "${!names[@]}"; do
  wall="${walls[$i]}"
  cpu="$(cut -d' ' -f2 "${records[$i]}" | median)"
  awk -v name="${names[$i]}" -v b="$bytes" -v w="$wall" -v c="$cpu" -v ref="${walls[2]}" \
    'BEGIN { printf "%-22s %10.2f %10.2f %12.0f %14.2f\n", name, w, c, b / 1e6 / w, w / ref }'
  rm -f "${records[$i]}"
done
echo
"$top/build/bin/bench_sha256"
}

memory_part() {
  local many="${KORVO_BENCH_VERIFY_MANY:-/tmp/korvo-verify-million}"
  if [ ! -f "$many/package.sha256" ]; then
    echo "Making 1,000,000 files and their manifest in $many (once) ..."
    rm -rf "$many"
    python3 - "$many" <<'EOF'
import hashlib, os, sys
root = sys.argv[1]
os.makedirs(root + "/empty")
with open(root + "/package.sha256.part", "w") as manifest:
    for i in range(1_000_000):
        folder = "d%04d" % (i // 1000)
        if i % 1000 == 0:
            os.makedirs(root + "/package/" + folder)
        path = "%s/file%07d.txt" % (folder, i)
        data = (path + "\n").encode()
        fd = os.open(root + "/package/" + path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        os.write(fd, data)
        os.close(fd)
        manifest.write(hashlib.sha256(data).hexdigest() + "  " + path + "\n")
os.rename(root + "/package.sha256.part", root + "/package.sha256")
EOF
  fi
  echo
  echo "Manifest of $(wc -l <"$many/package.sha256") lines in $many; $(nproc) processors," \
    "load average $(cut -d' ' -f1-3 /proc/loadavg). Warming the cache ..."
  (cd "$many/package" && "$cli" verify . ../package.sha256 >/dev/null)
  printf '%-44s %10s %14s\n' "one run each (limit 96 MB)" "wall s" "peak MB"
  # peak NAME FOLDER COMMAND...: runs the command in FOLDER, its output
  # thrown away; /usr/bin/time's last line holds the figures.
  peak() {
    local name="$1" folder="$2"
    shift 2
    (cd "$folder" && /usr/bin/time -f '%e %M' -o "$log" "$@" >/dev/null 2>&1) || true
    local wall kib
    read -r wall kib < <(tail -n 1 "$log")
    awk -v n="$name" -v w="$wall" -v k="$kib" 'BEGIN { printf "%-44s %10.1f %14.1f\n", n, w, k / 1024 }'
  }
  local where what
  for where in package empty; do
    what="all files there"
    [ "$where" = empty ] && what="all files missing"
    peak "korvo-cli verify ($what)" "$many/$where" "$cli" verify . ../package.sha256
    peak "korvo-cli verify --json ($what)" "$many/$where" "$cli" verify --json . ../package.sha256
    peak "sha256sum -c ($what)" "$many/$where" sha256sum -c --quiet ../package.sha256
  done
}

part="${KORVO_BENCH_PART:-all}"
if [ "$part" != memory ]; then
  speed_part
fi
if [ "$part" != speed ]; then
  memory_part
fi
