#!/usr/bin/env bash
# bench/tool.sh - times `tessgrid-tool add A B out` next to `tessgrid A B out +` on the same pair.
# Usage: bash bench/tool.sh [sizes...]   (default: 3000).
#
# For each size N it generates (or reuses) the N x N pair of bench/overlay.sh on one grid, then
# runs the two commands in turn RUNS times (default 5) and prints the best wall time of each and
# the ratio tessgrid-tool / tessgrid. The tool adds parsing, sidecar checks and the lenient
# header rule to the same library calls, so the ratio should stay within 1.05.
set -euo pipefail

RUNS=${TESSGRID_BENCH_RUNS:-5}
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"

printf '%-12s %12s %16s %8s\n' case "tessgrid s" "tessgrid-tool s" ratio
for N in "${SIZES[@]}"; do
  A=$DATA/a_$N.asc B=$DATA/b_$N.asc
  [ -f "$A" ] || "$BUILD/bench/GenerateGrid" "$A" "$N" "$N" 25 500000 5100000 1
  [ -f "$B" ] || "$BUILD/bench/GenerateGrid" "$B" "$N" "$N" 25 500000 5100000 2
  BEST_CMD="" BEST_TOOL=""
  # Alternating the two keeps a slow moment of the machine from favouring one of them.
  for _ in $(seq "$RUNS"); do
    T=$(wall "$BUILD/tessgrid" "$A" "$B" "$DATA/out_cmd.asc" +)
    if [ -z "$BEST_CMD" ] || awk "BEGIN{exit !($T < $BEST_CMD)}"; then BEST_CMD=$T; fi
    T=$(wall "$BUILD/tessgrid-tool" add "$A" "$B" "$DATA/out_tool.asc")
    if [ -z "$BEST_TOOL" ] || awk "BEGIN{exit !($T < $BEST_TOOL)}"; then BEST_TOOL=$T; fi
  done
  cmp -s "$DATA/out_cmd.asc" "$DATA/out_tool.asc" || { echo "outputs differ for N=$N" >&2; exit 1; }
  awk -v l="${N}x${N} add" -v tc="$BEST_CMD" -v tt="$BEST_TOOL" \
    'BEGIN { printf "%-12s %12.3f %16.3f %8.3f\n", l, tc, tt, tt / tc }'
done
