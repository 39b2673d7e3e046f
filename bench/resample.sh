#!/usr/bin/env bash
# bench/resample.sh - `resample --method average` of an N x N Float64 GeoTIFF to cells 4 times
# coarser next to `gdalwarp -r average` onto the same grid (-tr, -te the source's extent), both
# reading and writing uncompressed GeoTIFF, and whether their values agree; the same for the other
# methods over the cells covered.
# Usage: bash bench/resample.sh [size]   (default: 3000). Best of RUNS runs (default 3) of each
# command, in one run of the script. Needs gdalwarp and gdal_translate (Debian: gdal-bin,
# python3-gdal) and the release build with GDAL (libgdal-dev); CI never runs it.
set -euo pipefail

RUNS=${TESSGRID_BENCH_RUNS:-3}
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
N=${1:-3000}
TOOL=$BUILD/tessgrid-tool
ASC=$DATA/a_$N.asc
SRC=$DATA/a_${N}_raw.tif
[ -f "$ASC" ] || "$BUILD/bench/GenerateGrid" "$ASC" "$N" "$N" 25 500000 5100000 1
# GDAL reads ASCII grids with decimals as Float32 unless told otherwise.
[ -f "$SRC" ] || gdal_translate -q --config AAIGRID_DATATYPE Float64 -ot Float64 "$ASC" "$SRC"
RES=100
EXTENT=(500000 5100000 $((500000 + N * 25)) $((5100000 + N * 25)))

# Prints the best wall time of RUNS runs of the command line.
best() {
  local best="" t
  for _ in $(seq "$RUNS"); do
    t=$(wall "$@")
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
  done
  echo "$best"
}

# The largest difference between two rasters' data cells, or NO where their no-data cells differ.
compare() {
  /usr/bin/python3 - "$1" "$2" <<'PY'
import sys
import numpy as np
from osgeo import gdal
datasets = [gdal.Open(name) for name in sys.argv[1:]]
bands = [dataset.GetRasterBand(1) for dataset in datasets]
cells = [band.ReadAsArray() for band in bands]
empty = [cells[k] == bands[k].GetNoDataValue() for k in range(2)]
if cells[0].shape != cells[1].shape or not (empty[0] == empty[1]).all():
    print("NO")
else:
    data = ~empty[0]
    print("%.1e" % (np.abs(cells[0][data] - cells[1][data]).max() if data.any() else 0.0))
PY
}

printf '%-58s %8s %8s %10s\n' "${N}x${N} to cells of 4x, GeoTIFF" "wall s" "/ gdal" "max diff"
for METHOD in average min max median mode; do
  GDAL_METHOD=$METHOD
  [ "$METHOD" = median ] && GDAL_METHOD=med
  OURS=$DATA/resample_$METHOD.tif
  THEIRS=$DATA/gdalwarp_$METHOD.tif
  T_TOOL=$(best "$TOOL" resample "$SRC" "$OURS" --method "$METHOD" --resolution "$RES" \
    --co COMPRESS=NONE --co TILED=NO)
  T_GDAL=$(best gdalwarp -q -overwrite -r "$GDAL_METHOD" -tr "$RES" "$RES" -te "${EXTENT[@]}" \
    "$SRC" "$THEIRS")
  DIFF=$(compare "$OURS" "$THEIRS")
  awk -v l="tessgrid-tool resample --method $METHOD" -v t="$T_TOOL" -v g="$T_GDAL" -v d="$DIFF" \
    'BEGIN { printf "%-58s %8.2f %8.2f %10s\n", l, t, t / g, d }'
  awk -v l="gdalwarp -r $GDAL_METHOD" -v g="$T_GDAL" \
    'BEGIN { printf "%-58s %8.2f %8.2f\n", l, g, 1 }'
done
