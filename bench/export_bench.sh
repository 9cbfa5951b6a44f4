#!/usr/bin/env bash
# Times korvo-cli export on the benchmark tree against tree(1):
#   korvo-cli export DIR x.txt                              scan + text tree
#   korvo-cli export --sections tree,dirs,files,top
#                    --omit-file '' --omit-dir '' DIR x.xml scan + XML, every section and field
#   tree -X -s -D DIR                                       XML listing with sizes and dates
#   tree -J -s -D DIR                                       JSON listing with sizes and dates
# and prints the wall-clock seconds (korvo-cli's split into scan and export)
# and the file sizes side by side.
#
#   bench/export_bench.sh            the tree at $KORVO_BENCH_TREE (default
#                                    /tmp/korvo-bench-tree), made once by
#                                    bench/make_tree.py
#   KORVO_BENCH_RUNS=3 bench/...     the best of three runs of each command
#
# The outputs go to a temporary folder that is removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

tree_dir="${KORVO_BENCH_TREE:-/tmp/korvo-bench-tree}"
runs="${KORVO_BENCH_RUNS:-1}"

scripts/setup tree
python3 bench/make_tree.py "$tree_dir"
cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc)" --target korvo-cli >/dev/null
cli="$PWD/build/bin/korvo-cli"

out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b) ? a : b }'; }

# Runs one command $runs times; sets best (wall seconds) and, for korvo-cli,
# scan and export (the seconds of the fastest run as it reports them).
measure() {
  local target="$1"; shift
  best=""; scan="-"; export_seconds="-"
  for ((i = 0; i < runs; i++)); do
    rm -f "$target"
    local start end took timing
    start="$(now)"
    if [ "$1" = "$cli" ]; then
      "$@" 2>"$out/timing" || { cat "$out/timing" >&2; exit 1; }
    else
      "$@" >"$target"
    fi
    end="$(now)"
    took="$(seconds "$start" "$end")"
    if [ -z "$best" ] || [ "$(smaller "$took" "$best")" = "$took" ]; then
      best="$took"
      if [ "$1" = "$cli" ]; then
        timing="$(tail -n 1 "$out/timing")" # scan: S s, export: E s
        scan="$(echo "$timing" | sed -n 's/^scan: \([0-9.]*\) s, export: \([0-9.]*\) s$/\1/p')"
        export_seconds="$(echo "$timing" | sed -n 's/^scan: \([0-9.]*\) s, export: \([0-9.]*\) s$/\2/p')"
      fi
    fi
  done
  size="$(stat -c %s "$target")"
}

row() { printf '%-48s %8s %8s %8s %14s\n' "$@"; }

files="$(find "$tree_dir" -type f | wc -l)"
folders="$(find "$tree_dir" -mindepth 1 -type d | wc -l)"
echo "Tree: $tree_dir ($files files, $folders folders), best of $runs run(s), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo
row "command" "total s" "scan s" "export s" "output bytes"

measure "$out/korvo.txt" "$cli" export --timing "$tree_dir" "$out/korvo.txt"
txt_total="$best" txt_scan="$scan"
row "korvo-cli export .txt" "$best" "$scan" "$export_seconds" "$size"

measure "$out/korvo.xml" "$cli" export --timing --sections tree,dirs,files,top --omit-file '' --omit-dir '' \
  "$tree_dir" "$out/korvo.xml"
xml_total="$best" xml_scan="$scan"
row "korvo-cli export .xml (4 sections, all fields)" "$best" "$scan" "$export_seconds" "$size"

measure "$out/tree.xml" tree -X -s -D "$tree_dir"
tree_x="$best"
row "tree -X -s -D" "$best" "" "" "$size"

measure "$out/tree.json" tree -J -s -D "$tree_dir"
row "tree -J -s -D" "$best" "" "" "$size"

echo
verdict() { awk -v a="$1" -v b="$2" 'BEGIN { print (a <= b) ? "met" : "missed" }'; }
echo "scan + text export ($txt_total s) <= tree -X ($tree_x s): $(verdict "$txt_total" "$tree_x")"
xml_limit="$(awk -v a="$xml_scan" -v b="$tree_x" 'BEGIN { printf "%.2f", a + b }')"
echo "XML export, every section and field ($xml_total s) <= scan + tree -X ($xml_limit s): $(verdict "$xml_total" "$xml_limit")"
