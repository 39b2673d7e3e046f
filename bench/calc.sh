#!/usr/bin/env bash
# bench/calc.sh - times `tessgrid-tool calc --expr A+B` next to `tessgrid-tool add` and
# `tessgrid A B out +` on the same aligned pair.
# Usage: bash bench/calc.sh [sizes...]   (default: 3000).
#
# For each size N it generates (or reuses) the N x N pair of bench/tool.sh, runs the three
# commands in turn RUNS times (default 3) and prints the best wall time of each and the ratios
# calc / add and calc / tessgrid. calc evaluates a parsed expression per cell where add runs a
# compiled loop, so the ratio shows what the generality costs on the simplest expression.
set -euo pipefail

RUNS=${TESSGRID_BENCH_RUNS:-3}
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"

# Keeps the smaller of the best so far (named by $1) and the time $2.
keep_best() {
  if [ -z "${!1}" ] || awk "BEGIN{exit !($2 < ${!1})}"; then printf -v "$1" '%s' "$2"; fi
}

printf '%-12s %10s %10s %10s %12s %14s\n' case "tessgrid s" "add s" "calc s" "calc / add" \
  "calc / tessgrid"
for N in "${SIZES[@]}"; do
  A=$DATA/a_$N.asc B=$DATA/b_$N.asc
  [ -f "$A" ] || "$BUILD/bench/GenerateGrid" "$A" "$N" "$N" 25 500000 5100000 1
  [ -f "$B" ] || "$BUILD/bench/GenerateGrid" "$B" "$N" "$N" 25 500000 5100000 2
  BEST_CMD="" BEST_ADD="" BEST_CALC=""
  # Alternating the three keeps a slow moment of the machine from favouring one of them.
  for _ in $(seq "$RUNS"); do
    keep_best BEST_CMD "$(wall "$BUILD/tessgrid" "$A" "$B" "$DATA/out_cmd.asc" +)"
    keep_best BEST_ADD "$(wall "$BUILD/tessgrid-tool" add "$A" "$B" "$DATA/out_add.asc")"
    keep_best BEST_CALC "$(wall "$BUILD/tessgrid-tool" calc "$DATA/out_calc.asc" --expr A+B \
      -A "$A" -B "$B")"
  done
  cmp -s "$DATA/out_add.asc" "$DATA/out_calc.asc" || { echo "outputs differ for N=$N" >&2; exit 1; }
  awk -v l="${N}x${N}" -v tc="$BEST_CMD" -v ta="$BEST_ADD" -v tk="$BEST_CALC" \
    'BEGIN { printf "%-12s %10.3f %10.3f %10.3f %12.2f %14.2f\n", l, tc, ta, tk, tk / ta, tk / tc }'
done
