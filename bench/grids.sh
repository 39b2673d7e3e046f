#!/usr/bin/env bash
# bench/grids.sh - `tessgrid-tool calc --extent union` over three N x N Float64 GeoTIFFs of
# different extents (one lattice, offset by whole cells, so that both programs build the same
# union grid) next to `gdal_calc.py --extent union` on the same three, both writing an
# uncompressed GeoTIFF, and whether the values and no-data cells agree.
# Usage: bash bench/grids.sh [size]   (default: 3000). One run of each command (RUNS=1) unless
# TESSGRID_BENCH_RUNS says more, the best then shown. Needs gdal_translate and gdal_calc.py
# (Debian: gdal-bin, python3-gdal) and the release build with GDAL; CI never runs it.
set -euo pipefail

RUNS=${TESSGRID_BENCH_RUNS:-1}
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
N=${1:-3000}
TOOL=$BUILD/tessgrid-tool
# Corners in whole cells of 25 from (500000, 5100000): b lies 250 cells east and 150 north of a,
# c 100 cells west and 300 north; the union is 3350 x 3300 cells at N = 3000.
CORNERS=("500000 5100000" "506250 5103750" "497500 5107500")
INPUTS=()
for K in 0 1 2; do
  NAME=$DATA/grids_${K}_$N
  read -r XLL YLL <<<"${CORNERS[$K]}"
  [ -f "$NAME.asc" ] || "$BUILD/bench/GenerateGrid" "$NAME.asc" "$N" "$N" 25 "$XLL" "$YLL" $((K + 3))
  [ -f "$NAME.tif" ] || gdal_translate -q --config AAIGRID_DATATYPE Float64 -ot Float64 \
    "$NAME.asc" "$NAME.tif"
  INPUTS+=("$NAME.tif")
done

# Prints the wall time and the processor time (user and system) of the run of RUNS with the
# least wall time: on a machine that other work loads, the processor time tells the cost apart
# from the waiting.
best() {
  local best="" cpu="" line
  for _ in $(seq "$RUNS"); do
    line=$(/usr/bin/time -f "%e %U %S" "$@" 2>&1 >/dev/null | tail -n 1)
    read -r t u s <<<"$line"
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then
      best=$t
      cpu=$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.2f", u + s }')
    fi
  done
  echo "$best $cpu"
}

EXPR="A + B * 2 - C"
read -r T_TOOL C_TOOL <<<"$(best "$TOOL" calc "$DATA/grids_tool.tif" --expr "$EXPR" \
  -A "${INPUTS[0]}" -B "${INPUTS[1]}" -C "${INPUTS[2]}" --extent union --co COMPRESS=NONE)"
read -r T_CALC C_CALC <<<"$(best gdal_calc.py --quiet --overwrite -A "${INPUTS[0]}" \
  -B "${INPUTS[1]}" -C "${INPUTS[2]}" --calc "$EXPR" --extent union \
  --outfile "$DATA/grids_calc.tif")"

# The same grid, no-data in the same cells, and the same values elsewhere (largest difference).
SAME=$(/usr/bin/python3 - "$DATA/grids_tool.tif" "$DATA/grids_calc.tif" <<'PY'
import sys
import numpy as np
from osgeo import gdal
# The datasets stay referenced: a band outliving its dataset reads freed memory.
datasets = [gdal.Open(name) for name in sys.argv[1:]]
same_grid = datasets[0].GetGeoTransform() == datasets[1].GetGeoTransform() and \
    datasets[0].RasterXSize == datasets[1].RasterXSize and \
    datasets[0].RasterYSize == datasets[1].RasterYSize
bands = [dataset.GetRasterBand(1) for dataset in datasets]
cells = [band.ReadAsArray() for band in bands]
empty = [cells[k] == bands[k].GetNoDataValue() for k in range(2)]
data = ~empty[0]
worst = float(np.abs(cells[0][data] - cells[1][data]).max()) if data.any() else 0.0
print("%s %s %g %d %d" % ("yes" if same_grid else "NO",
                          "yes" if (empty[0] == empty[1]).all() else "NO", worst,
                          datasets[0].RasterXSize, datasets[0].RasterYSize))
PY
)
read -r GRID NODATA WORST COLUMNS ROWS <<<"$SAME"
printf 'calc "%s" --extent union over three %sx%s GeoTIFFs (%sx%s result)\n' "$EXPR" "$N" "$N" \
  "$COLUMNS" "$ROWS"
awk -v t="$T_TOOL" -v g="$T_CALC" -v ct="$C_TOOL" -v cg="$C_CALC" 'BEGIN {
  printf "%-36s %8s %8s\n", "", "wall s", "cpu s"
  printf "%-36s %8.2f %8.2f\n", "tessgrid-tool calc --extent union", t, ct
  printf "%-36s %8.2f %8.2f\n", "gdal_calc.py --extent union", g, cg
  printf "%-36s %8.2f %8.2f\n", "gdal_calc.py / tessgrid-tool", g / t, cg / ct }'
echo "same grid: $GRID; same no-data cells: $NODATA; largest difference: $WORST"
