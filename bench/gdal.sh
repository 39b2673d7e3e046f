#!/usr/bin/env bash
# bench/gdal.sh - tessgrid-tool on GeoTIFFs: `add` of two N x N Float64 DEFLATE GeoTIFFs to a
# GeoTIFF next to `gdal_calc.py --calc A+B` on the same pair (same values), the same sum from the
# .tif and from the .asc copies of the grids (the same grid, byte for byte), the size of the
# GeoTIFF output next to the ASCII grid of the same cells, and the time and peak memory of
# `average` over 50 GeoTIFFs of 1000 x 1000, stored in strips as GDAL writes them by default and
# in tiles as the tool writes them, streamed and loaded whole.
# Usage: bash bench/gdal.sh [size]   (default: 3000). Best of RUNS runs (default 3) of each
# command, in one run of the script. Needs gdal_translate and gdal_calc.py (Debian: gdal-bin,
# python3-gdal) and the release build with GDAL (libgdal-dev); CI never runs it.
set -euo pipefail

RUNS=${TESSGRID_BENCH_RUNS:-3}
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
N=${1:-3000}
TOOL=$BUILD/tessgrid-tool
A=$DATA/a_$N.asc B=$DATA/b_$N.asc
[ -f "$A" ] || "$BUILD/bench/GenerateGrid" "$A" "$N" "$N" 25 500000 5100000 1
[ -f "$B" ] || "$BUILD/bench/GenerateGrid" "$B" "$N" "$N" 25 500000 5100000 2
for GRID in a b; do
  # GDAL reads ASCII grids with decimals as Float32 unless told otherwise.
  gdal_translate -q --config AAIGRID_DATATYPE Float64 -ot Float64 -co TILED=YES -co COMPRESS=DEFLATE -co PREDICTOR=3 \
    "$DATA/${GRID}_$N.asc" "$DATA/${GRID}_$N.tif"
done

# Prints the best wall time of RUNS runs of the command line.
best() {
  local best="" t
  for _ in $(seq "$RUNS"); do
    t=$(wall "$@")
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
  done
  echo "$best"
}

# gdal_calc.py writes an uncompressed GeoTIFF by default; the tool compresses. Both are timed
# as they come and with the other's layout, so that the ratio compares like with like.
GEOTIFF_CO=(--co TILED=YES --co COMPRESS=DEFLATE --co PREDICTOR=3)
T_TOOL=$(best "$TOOL" add "$DATA/a_$N.tif" "$DATA/b_$N.tif" "$DATA/sum_tool.tif")
T_CALC=$(best gdal_calc.py --quiet --overwrite -A "$DATA/a_$N.tif" -B "$DATA/b_$N.tif" \
  --calc A+B --outfile "$DATA/sum_calc.tif")
T_TOOL_RAW=$(best "$TOOL" add "$DATA/a_$N.tif" "$DATA/b_$N.tif" "$DATA/sum_raw.tif" \
  --co COMPRESS=NONE)
T_CALC_DEFLATE=$(best gdal_calc.py --quiet --overwrite -A "$DATA/a_$N.tif" -B "$DATA/b_$N.tif" \
  --calc A+B --outfile "$DATA/sum_calc_deflate.tif" "${GEOTIFF_CO[@]}")
T_ASC=$(best "$TOOL" add "$A" "$B" "$DATA/sum_asc.asc")
# What any program that reads the pair through GDAL spends before it adds a cell: both decoded
# into memory on 2 threads, best of RUNS, timed inside Python.
T_DECODE=$(/usr/bin/python3 - "$DATA/a_$N.tif" "$DATA/b_$N.tif" "$RUNS" <<'PY'
import sys, time
from osgeo import gdal
gdal.SetConfigOption("GDAL_NUM_THREADS", "2")
best = None
for _ in range(int(sys.argv[3])):
    start = time.perf_counter()
    for name in sys.argv[1:3]:
        gdal.Open(name).ReadAsArray()
    took = time.perf_counter() - start
    best = took if best is None or took < best else best
print(f"{best:.3f}")
PY
)

# The same values: every cell where both are data, and no-data in the same cells.
SAME=$(/usr/bin/python3 - "$DATA/sum_tool.tif" "$DATA/sum_calc.tif" <<'PY'
import sys
import numpy as np
from osgeo import gdal
# The datasets stay referenced: a band outliving its dataset reads freed memory.
datasets = [gdal.Open(name) for name in sys.argv[1:]]
bands = [dataset.GetRasterBand(1) for dataset in datasets]
cells = [band.ReadAsArray() for band in bands]
empty = [cells[k] == bands[k].GetNoDataValue() for k in range(2)]
print("yes" if (empty[0] == empty[1]).all() and (cells[0] == cells[1])[~empty[0]].all() else "NO")
PY
)
"$TOOL" add "$DATA/a_$N.tif" "$DATA/b_$N.tif" "$DATA/sum_tif.asc"
cmp -s "$DATA/sum_tif.asc" "$DATA/sum_asc.asc" && EQUAL=yes || EQUAL=NO
"$TOOL" add "$DATA/a_$N.tif" "$DATA/b_$N.tif" "$DATA/sum_single.tif" --type Float32
TIF_BYTES=$(stat -c %s "$DATA/sum_tool.tif")
SINGLE_BYTES=$(stat -c %s "$DATA/sum_single.tif")
ASC_BYTES=$(stat -c %s "$DATA/sum_asc.asc")

printf '%-58s %8s %8s\n' "${N}x${N} add" "wall s" "/ tool"
row() { awk -v l="$1" -v t="$2" -v r="$3" 'BEGIN { printf "%-58s %8.2f %8.2f\n", l, t, t / r }'; }
row "tessgrid-tool add a.tif b.tif out.tif" "$T_TOOL" "$T_TOOL"
row "gdal_calc.py -A a.tif -B b.tif --calc A+B (uncompressed)" "$T_CALC" "$T_TOOL"
row "tessgrid-tool ... --co COMPRESS=NONE" "$T_TOOL_RAW" "$T_TOOL_RAW"
row "gdal_calc.py ... (uncompressed), next to it" "$T_CALC" "$T_TOOL_RAW"
row "gdal_calc.py ... --co TILED=YES COMPRESS=DEFLATE PREDICTOR=3" "$T_CALC_DEFLATE" "$T_TOOL"
row "tessgrid-tool add a.asc b.asc out.asc" "$T_ASC" "$T_TOOL"
row "GDAL decoding a.tif and b.tif alone, 2 threads" "$T_DECODE" "$T_TOOL"
echo "gdal_calc.py's values equal the tool's: $SAME"
echo "the sum from .tif and from .asc, byte for byte: $EQUAL"
awk -v t="$TIF_BYTES" -v s="$SINGLE_BYTES" -v a="$ASC_BYTES" 'BEGIN {
  printf "ASCII grid %.1f MB; GeoTIFF Float64 %.1f MB (%.0f%%), Float32 %.1f MB (%.0f%%)\n",
    a / 1e6, t / 1e6, 100 * t / a, s / 1e6, 100 * s / a
}'

# average of 50 GeoTIFFs of 1000 x 1000: the time and the peak resident memory of one run.
SERIES=$DATA/series50
mkdir -p "$SERIES"
for I in $(seq 1 50); do
  M=$SERIES/m$I
  [ -f "$M.asc" ] || "$BUILD/bench/GenerateGrid" "$M.asc" 1000 1000 25 500000 5100000 "$I" >/dev/null
  [ -f "$M.strips.tif" ] || gdal_translate -q --config AAIGRID_DATATYPE Float64 -ot Float64 \
    -co COMPRESS=DEFLATE -co PREDICTOR=3 "$M.asc" "$M.strips.tif"
  [ -f "$M.tiles.tif" ] || "$TOOL" scale "$M.asc" "$M.tiles.tif" --factor 1
done
# Prints the wall seconds and the peak resident MiB of one run of the command line.
measure() {
  local log
  log=$(mktemp)
  /usr/bin/time -f '%e %M' -o "$log" "$@" >/dev/null
  awk '{ printf "%.2f %.1f\n", $1, $2 / 1024 }' "$log"
  rm -f "$log"
}
printf '\n%-58s %8s %8s\n' "average of 50 GeoTIFFs 1000x1000, Float64" "wall s" "peak MiB"
for LAYOUT in strips tiles; do
  read -r T M < <(measure "$TOOL" average "$DATA/avg50.tif" "$SERIES"/m*."$LAYOUT".tif)
  printf '%-58s %8s %8s\n' "streamed, $LAYOUT" "$T" "$M"
  # Standard output takes the path that loads every grid whole.
  read -r T M < <(measure "$TOOL" average - "$SERIES"/m*."$LAYOUT".tif)
  printf '%-58s %8s %8s\n' "loaded whole (output to standard output), $LAYOUT" "$T" "$M"
done
read -r T M < <(measure "$TOOL" average "$DATA/avg50.asc" "$SERIES"/m*.asc)
printf '%-58s %8s %8s\n' "the same grids as ASCII, streamed" "$T" "$M"
