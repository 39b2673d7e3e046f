#!/usr/bin/env bash
# bench/core.sh - the speed of the shared core in one run: the Python module's calc and average
# against numexpr and numpy (bench/python.py), tessgrid-tool's average and calc against the bare
# loop and gdal_calc.py (bench/series.sh), and `tessgrid A B out +` against the bare loop, on all
# cores and on one (bench/overlay.sh, 3000 x 3000). Prints each script's own lines, then one table
# of the ratios with their targets, and the load average before and after.
# Usage: bash bench/core.sh   (RUNS as the scripts take it: TESSGRID_BENCH_RUNS, default 3)
# Needs what the three scripts need: /usr/bin/time, gdal-bin and python3-gdal, python3-numpy and
# python3-numexpr, and the release build with the Python module. CI never runs it.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
LOG=$(mktemp)
trap 'rm -f "$LOG"' EXIT

LOAD_BEFORE=$(cut -d' ' -f1 /proc/loadavg)
cmake --workflow --preset release >/dev/null
cmake --build "$ROOT/build/release" --target tessgrid_python >/dev/null
{
  /usr/bin/python3 "$HERE/python.py" "$ROOT/build/release"
  bash "$HERE/series.sh"
  bash "$HERE/overlay.sh" 3000
} | tee "$LOG"
LOAD_AFTER=$(cut -d' ' -f1 /proc/loadavg)

line() {  # line TEXT: the first line holding TEXT
  grep -m1 -F -- "$1" "$LOG" || true
}

LONG=$(line 'calc("(A-B)*C/100')
SUM=$(line 'numexpr masked A+B')
AVG=$(line 'average of 24')
TOOL_AVG=$(line 'average of 12 x 1000x1000 / bare loop')
TOOL_CALC=$(line 'calc "A>B ? A-B : C", 3 x 1500x1500 vs gdal')
PLUS=$(line '3000x3000 same grid')

ratio_before() {  # ratio_before LINE TEXT: the "N.NNx" right before TEXT in LINE
  sed -n "s/.*: \([0-9.]*\)x $2.*/\1/p" <<<"$1" | head -1
}

echo
echo "One run, load average $LOAD_BEFORE before and $LOAD_AFTER after, $(nproc) cores:"
printf '| %-70s | %-22s | %-12s |\n' case measured target
printf '|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..72})" "$(printf -- '-%.0s' {1..24})" "$(printf -- '-%.0s' {1..14})"
row() { printf '| %-70s | %-22s | %-12s |\n' "$1" "$2" "$3"; }
row 'Python calc "(A-B)*C/100 + (A>900 ? 1 : 0)" 3000^2 vs numexpr' \
  "$(ratio_before "$LONG" "numexpr's time")x" "<= 1.0x"
row 'same vs numpy masked form' "$(ratio_before "$LONG" "numpy's time")x" "<= 0.5x"
row 'Python calc "A+B" vs numexpr' "$(ratio_before "$SUM" "numexpr's time")x" "<= 0.8x"
row 'Python average of 24 x 1000^2 vs numpy stack+mean+mask' \
  "$(ratio_before "$AVG" "numpy's time")x" "<= 0.5x"
row 'tessgrid-tool average 12 x 1000^2 vs bench/tools/NaiveSeries' \
  "$(awk '{ print $(NF - 2) }' <<<"$TOOL_AVG")" "<= 0.35"
row 'tessgrid + 3000^2 vs naive loop: all cores / one thread' \
  "$(awk '{ print $7 " / " $8 }' <<<"$PLUS")" "<= 0.32 / 0.48"
row 'tool calc 3 inputs 1500^2 vs gdal_calc.py' \
  "$(awk '{ print $(NF - 2) }' <<<"$TOOL_CALC")x faster" ">= 20x"
