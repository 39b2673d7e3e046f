#!/usr/bin/env bash
# bench/overlay.sh - times `tessgrid A B out +` next to the bare loop (bench/tools/NaiveOverlay).
# Usage: bash bench/overlay.sh [sizes...]   (default: 3000 5000). Needs /usr/bin/time (Debian: time).
#
# For each size N it generates two N x N grids on the same grid and a partner at twice the cell
# size (N/2 x N/2 over the same area), then runs the command (on every core, and with
# TESSGRID_THREADS=1) and the bare loop on each pair, and prints the best wall time of RUNS runs
# (default 3), the ratios command / bare loop, and the command's peak resident memory against
# the budget 1.2 x 8 bytes x (the cells of both inputs) + 32 MiB, which is 16 bytes a cell for two
# inputs on one grid. Then, for the largest size on one grid: the command's steps timed one by
# one (bench/tools/OverlaySteps), the command as shipped and without
# the safe replace's fsync (bench/support/NoSync.cpp preloaded); last, a grid of 1 x 2,000,000
# cells against the same cells as 2000 x 1000.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build/release
DATA=${TESSGRID_BENCH_DATA:-$BUILD/bench_data}
SIZES=("$@")
[ ${#SIZES[@]} -gt 0 ] || SIZES=(3000 5000)
RUNS=${TESSGRID_BENCH_RUNS:-3}

if [ ! -x /usr/bin/time ]; then
  echo "bench/overlay.sh needs /usr/bin/time (apt-get install time)" >&2
  exit 1
fi
cmake --workflow --preset release >/dev/null
mkdir -p "$DATA"

# Runs the command line RUNS times; prints "<best seconds> <largest peak KiB>".
measure() {
  local best="" peak=0 log=$DATA/time.log
  for _ in $(seq "$RUNS"); do
    /usr/bin/time -v "$@" >/dev/null 2>"$log" || { cat "$log" >&2; exit 1; }
    local wall rss
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2,t,":"); s=0; for(i=1;i<=n;i++) s=s*60+t[i]; print s}' "$log")
    rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$log")
    if [ -z "$best" ] || awk "BEGIN{exit !($wall < $best)}"; then best=$wall; fi
    [ "$rss" -gt "$peak" ] && peak=$rss
  done
  echo "$best $peak"
}

printf '%-26s %10s %10s %10s %8s %8s %10s %10s %8s\n' case "tessgrid s" "1 thread s" "bare s" \
  ratio "ratio 1" "peak MiB" "budget MiB" "of budget"
for N in "${SIZES[@]}"; do
  HALF=$((N / 2))
  A=$DATA/a_$N.asc B=$DATA/b_$N.asc C=$DATA/c_$N.asc
  [ -f "$A" ] || "$BUILD/bench/GenerateGrid" "$A" "$N" "$N" 25 500000 5100000 1
  [ -f "$B" ] || "$BUILD/bench/GenerateGrid" "$B" "$N" "$N" 25 500000 5100000 2
  [ -f "$C" ] || "$BUILD/bench/GenerateGrid" "$C" "$HALF" "$HALF" 50 500000 5100000 3
  for PARTNER in B C; do
    P=${!PARTNER}
    if [ "$PARTNER" = B ]; then PCELLS=$((N * N)); LABEL="${N}x${N} same grid"; else PCELLS=$((HALF * HALF)); LABEL="${N}x${N} partner 2x cell"; fi
    read -r T_CMD RSS_CMD < <(measure "$BUILD/tessgrid" "$A" "$P" "$DATA/out_cmd.asc" +)
    read -r T_ONE RSS_ONE < <(measure env TESSGRID_THREADS=1 "$BUILD/tessgrid" "$A" "$P" "$DATA/out_cmd.asc" +)
    read -r T_NAIVE _ < <(measure "$BUILD/bench/NaiveOverlay" "$A" "$P" "$DATA/out_naive.asc")
    CELLS=$((N * N + PCELLS))
    [ "$RSS_ONE" -gt "$RSS_CMD" ] && RSS_CMD=$RSS_ONE
    awk -v l="$LABEL" -v tc="$T_CMD" -v t1="$T_ONE" -v tn="$T_NAIVE" -v rss="$RSS_CMD" -v cells="$CELLS" 'BEGIN {
      budget = (1.2 * 8 * cells + 32 * 1048576) / 1048576; peak = rss / 1024;
      printf "%-26s %10.2f %10.2f %10.2f %8.2f %8.2f %10.0f %10.0f %8.2f\n", l, tc, t1, tn, tc / tn, t1 / tn, peak, budget, peak / budget }'
  done
done

N=${SIZES[-1]}
A=$DATA/a_$N.asc B=$DATA/b_$N.asc
echo
echo "Steps of ${N}x${N} + on one grid, timed one by one (each input read alone):"
"$BUILD/bench/OverlaySteps" "$A" "$B" "$DATA/out_cmd.asc" +
TESSGRID_THREADS=1 "$BUILD/bench/OverlaySteps" "$A" "$B" "$DATA/out_cmd.asc" +

echo
printf '%-40s %10s %10s\n' "${N}x${N} + on one grid" "wall s" "peak MiB"
report() {
  read -r T RSS < <(measure "${@:2}")
  awk -v l="$1" -v t="$T" -v rss="$RSS" 'BEGIN { printf "%-40s %10.2f %10.0f\n", l, t, rss / 1024 }'
}
report "as shipped" "$BUILD/tessgrid" "$A" "$B" "$DATA/out_cmd.asc" +
report "no fsync before the rename" env LD_PRELOAD="$BUILD/bench/libtessgrid_bench_nosync.so" \
  "$BUILD/tessgrid" "$A" "$B" "$DATA/out_cmd.asc" +

THIN=$DATA/thin_1x2000000.asc SQUARE=$DATA/square_2000x1000.asc
[ -f "$THIN" ] || "$BUILD/bench/GenerateGrid" "$THIN" 1 2000000 25 500000 5100000 1
[ -f "$SQUARE" ] || "$BUILD/bench/GenerateGrid" "$SQUARE" 2000 1000 25 500000 5100000 1
echo
printf '%-40s %10s %10s\n' "2,000,000 cells +" "wall s" "peak MiB"
report "1 x 2,000,000" "$BUILD/tessgrid" "$THIN" "$THIN" "$DATA/out_thin.asc" +
report "2000 x 1000" "$BUILD/tessgrid" "$SQUARE" "$SQUARE" "$DATA/out_square.asc" +
