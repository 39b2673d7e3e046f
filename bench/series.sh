#!/usr/bin/env bash
# bench/series.sh - the streamed series commands and calc against what they stand for, in one run.
# Usage: bash bench/series.sh   Needs /usr/bin/time (Debian: time); gdal_calc.py and
# gdal_translate (gdal-bin, python3-gdal) for the one comparison that uses them.
#
# Prints the best wall time of RUNS runs (default 3, the commands alternated) and the ratio for:
# calc --expr A+B against `tessgrid a b out +` on 3000 x 3000 (outputs compared byte for byte);
# calc "A>B ? A-B : C" on three 1500 x 1500 grids against gdal_calc.py writing a Float64 GeoTIFF
# and gdal_translate turning it into an ASCII grid (and calc --expr C on the same inputs, the part
# of calc's time that is reading and writing); average of 12 grids of 1000 x 1000 against the
# bare N-input loop (bench/tools/NaiveSeries), and average --skip-nodata of the same grids against
# average; then the peak resident memory of average over 50 and 200 grids of 500 x 500, and of
# moving-average over 50 of them, streamed and loaded whole; last, that 1, 2, 3 and 7 threads
# write the same bytes.
set -euo pipefail

RUNS=${TESSGRID_BENCH_RUNS:-3}
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
if [ ! -x /usr/bin/time ]; then
  echo "bench/series.sh needs /usr/bin/time (apt-get install time)" >&2
  exit 1
fi

# Runs the command line once; prints "<wall seconds> <peak KiB>".
measure() {
  local log=$DATA/time.log
  /usr/bin/time -v "$@" >/dev/null 2>"$log" || { cat "$log" >&2; exit 1; }
  awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2,t,":"); s=0; for(i=1;i<=n;i++) s=s*60+t[i]}
              /Maximum resident set size/ {r=$2} END {print s, r}' "$log"
}
# Keeps the smaller of the best so far (named by $1) and the time $2.
keep_best() {
  if [ -z "${!1}" ] || awk "BEGIN{exit !($2 < ${!1})}"; then printf -v "$1" '%s' "$2"; fi
}
grid() {  # grid FILE N SEED
  [ -f "$1" ] || "$BUILD/bench/GenerateGrid" "$1" "$2" "$2" 25 500000 5100000 "$3"
}
TOOL=$BUILD/tessgrid-tool

printf '%-46s %10s %10s %8s %8s\n' case "ours s" "other s" ratio target
row() {  # row LABEL OURS OTHER TARGET: the ratio ours / other, or other / ours for "x faster"
  awk -v l="$1" -v a="$2" -v b="$3" -v t="$4" 'BEGIN {
    r = (t ~ /x/) ? b / a : a / b; printf "%-46s %10.3f %10.3f %8.2f %8s\n", l, a, b, r, t }'
}

A=$DATA/a_3000.asc B=$DATA/b_3000.asc
grid "$A" 3000 1
grid "$B" 3000 2
T_CALC="" T_CMD=""
for _ in $(seq "$RUNS"); do
  read -r T _ < <(measure "$TOOL" calc "$DATA/out_calc.asc" --expr A+B -A "$A" -B "$B")
  keep_best T_CALC "$T"
  read -r T _ < <(measure "$BUILD/tessgrid" "$A" "$B" "$DATA/out_cmd.asc" +)
  keep_best T_CMD "$T"
done
cmp -s "$DATA/out_calc.asc" "$DATA/out_cmd.asc" || { echo "calc A+B and tessgrid + differ" >&2; exit 1; }
row "calc A+B / tessgrid +, 3000x3000" "$T_CALC" "$T_CMD" "<= 1.10"

P=$DATA/p_1500.asc Q=$DATA/q_1500.asc S=$DATA/r_1500.asc
grid "$P" 1500 4
grid "$Q" 1500 5
grid "$S" 1500 6
if command -v gdal_calc.py >/dev/null && command -v gdal_translate >/dev/null; then
  T_CALC="" T_GDAL=""
  for _ in $(seq "$RUNS"); do
    read -r T _ < <(measure "$TOOL" calc "$DATA/out_three.asc" --expr "A>B ? A-B : C" -A "$P" \
      -B "$Q" -C "$S")
    keep_best T_CALC "$T"
    rm -f "$DATA/gdal.tif" "$DATA/gdal.asc"
    start=$(date +%s.%N)
    gdal_calc.py --quiet --overwrite -A "$P" -B "$Q" -C "$S" --type=Float64 --format=GTiff \
      --outfile="$DATA/gdal.tif" --calc="where(A > B, A - B, C)" >/dev/null
    gdal_translate -q -of AAIGrid "$DATA/gdal.tif" "$DATA/gdal.asc" >/dev/null
    keep_best T_GDAL "$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { print e - s }')"
  done
  row "calc \"A>B ? A-B : C\", 3 x 1500x1500 vs gdal" "$T_CALC" "$T_GDAL" ">= 20x"
  # The same run with the expression "C": reading the three grids and writing one, which is what
  # is left of calc's time beside the expression's own.
  T_COPY=""
  for _ in $(seq "$RUNS"); do
    read -r T _ < <(measure "$TOOL" calc "$DATA/out_copy.asc" --expr C -A "$P" -B "$Q" -C "$S")
    keep_best T_COPY "$T"
  done
  row "  the same reading and writing (\"C\")" "$T_COPY" "$T_GDAL" "floor x"
else
  echo "calc against gdal_calc.py: skipped, gdal-bin or python3-gdal missing"
fi

TWELVE=()
for I in $(seq 12); do grid "$DATA/s1000_$I.asc" 1000 "$((10 + I))"; TWELVE+=("$DATA/s1000_$I.asc"); done
T_AVG="" T_BARE="" T_SKIP=""
for _ in $(seq "$RUNS"); do
  read -r T _ < <(measure "$TOOL" average "$DATA/out_avg.asc" "${TWELVE[@]}")
  keep_best T_AVG "$T"
  read -r T _ < <(measure "$BUILD/bench/NaiveSeries" "$DATA/out_bare.asc" "${TWELVE[@]}")
  keep_best T_BARE "$T"
  read -r T _ < <(measure "$TOOL" average --skip-nodata "$DATA/out_skip.asc" "${TWELVE[@]}")
  keep_best T_SKIP "$T"
done
row "average of 12 x 1000x1000 / bare loop" "$T_AVG" "$T_BARE" "<= 0.35"
row "average --skip-nodata of the 12 / average" "$T_SKIP" "$T_AVG" "<= 1.10"

MANY=()
for I in $(seq 200); do grid "$DATA/s500_$I.asc" 500 "$((100 + I))"; MANY+=("$DATA/s500_$I.asc"); done
read -r T50 RSS50 < <(measure "$TOOL" average "$DATA/out_50.asc" "${MANY[@]:0:50}")
read -r T200 RSS200 < <(measure "$TOOL" average "$DATA/out_200.asc" "${MANY[@]}")
echo
awk -v a="$RSS50" -v b="$RSS200" -v s="$T50" -v t="$T200" 'BEGIN {
  printf "average of 500x500 grids: 50 in %.2f s, peak %.1f MiB; 200 in %.2f s, peak %.1f MiB " \
         "(target <= 64); 200 / 50 = %.2f (target within 10%%)\n", s, a / 1024, t, b / 1024, b / a }'

# moving-average with a window of 12 over 50 of the 500 x 500 grids (39 outputs): streamed, and
# loaded whole (standard output as the first output takes that path); the outputs compared.
: >"$DATA/ma_streamed.txt"
echo - >"$DATA/ma_loaded.txt"
for I in $(seq 0 38); do
  echo "$DATA/ma_s$I.asc" >>"$DATA/ma_streamed.txt"
  [ "$I" = 0 ] || echo "$DATA/ma_l$I.asc" >>"$DATA/ma_loaded.txt"
done
T_MS="" T_ML=""
for _ in $(seq "$RUNS"); do
  read -r T RSS_MS < <(measure "$TOOL" moving-average --window 12 --outputs "$DATA/ma_streamed.txt" \
    "${MANY[@]:0:50}")
  keep_best T_MS "$T"
  read -r T RSS_ML < <(measure "$TOOL" moving-average --window 12 --outputs "$DATA/ma_loaded.txt" \
    "${MANY[@]:0:50}")
  keep_best T_ML "$T"
done
cmp -s "$DATA/ma_s38.asc" "$DATA/ma_l38.asc" ||
  { echo "moving-average: streamed and loaded differ" >&2; exit 1; }
awk -v a="$RSS_MS" -v b="$RSS_ML" -v s="$T_MS" -v t="$T_ML" 'BEGIN {
  printf "moving-average, window 12 over 50 of them (39 outputs): streamed %.2f s, peak %.1f MiB; " \
         "loaded whole %.2f s, peak %.1f MiB\n", s, a / 1024, t, b / 1024 }'

for CASE in average calc; do
  for THREADS in 1 2 3 7; do
    if [ "$CASE" = average ]; then
      TESSGRID_THREADS=$THREADS "$TOOL" average "$DATA/out_t$THREADS.asc" "${TWELVE[@]}"
    else
      TESSGRID_THREADS=$THREADS "$TOOL" calc "$DATA/out_t$THREADS.asc" --expr "A>B ? A-B : C" \
        -A "$P" -B "$Q" -C "$S"
    fi
  done
  for THREADS in 2 3 7; do
    cmp -s "$DATA/out_t1.asc" "$DATA/out_t$THREADS.asc" ||
      { echo "$CASE: $THREADS threads differ from 1" >&2; exit 1; }
  done
  echo "$CASE on 1, 2, 3 and 7 threads: identical bytes"
done
