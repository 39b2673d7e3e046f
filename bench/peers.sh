#!/usr/bin/env bash
# bench/peers.sh - times `tessgrid A B out +` next to the same sum in numpy and with gdal_calc.py.
# Usage: bash bench/peers.sh [size]   (default: 3000). One run of each, end to end, on the N x N
# pair of bench/overlay.sh on one grid. Needs /usr/bin/python3 with numpy (Debian: python3-numpy)
# and gdal_calc.py (Debian: gdal-bin, python3-gdal); CI never runs it.
set -euo pipefail

# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
N=${1:-3000}
A=$DATA/a_$N.asc B=$DATA/b_$N.asc
[ -f "$A" ] || "$BUILD/bench/GenerateGrid" "$A" "$N" "$N" 25 500000 5100000 1
[ -f "$B" ] || "$BUILD/bench/GenerateGrid" "$B" "$N" "$N" 25 500000 5100000 2

# The numpy peer: the six header lines read as key and value, the cells with np.loadtxt, the
# no-data rule with np.where, the rows written with np.savetxt.
NUMPY_SUM='
import sys
import numpy as np

def load(name):
    with open(name) as grid:
        header = dict(grid.readline().split() for _ in range(6))
        cells = np.loadtxt(grid, dtype=np.float64, ndmin=2)
    return {k.lower(): float(v) for k, v in header.items()}, cells

ha, a = load(sys.argv[1])
hb, b = load(sys.argv[2])
nodata = ha["nodata_value"]
total = np.where((a == nodata) | (b == hb["nodata_value"]), nodata, a + b)
with open(sys.argv[3], "w") as out:
    out.write("ncols %d\nnrows %d\nxllcorner %.10g\nyllcorner %.10g\ncellsize %.10g\n"
              "NODATA_value %.10g\n" % (int(ha["ncols"]), int(ha["nrows"]), ha["xllcorner"],
                                        ha["yllcorner"], ha["cellsize"], nodata))
    np.savetxt(out, total, fmt="%.6g")
'

# gdal_calc.py writes a GeoTIFF (the ASCII grid driver cannot be written cell by cell), and
# gdal_translate turns it into the ASCII grid the others write.
gdal_sum() {
  gdal_calc.py --quiet --overwrite -A "$1" -B "$2" --outfile "$DATA/peer_gdal.tif" --calc "A+B" \
    --NoDataValue -9999 >/dev/null
  gdal_translate -q -of AAIGrid "$DATA/peer_gdal.tif" "$3"
}

T_CMD=$(wall "$BUILD/tessgrid" "$A" "$B" "$DATA/out_cmd.asc" +)
T_NUMPY=$(wall /usr/bin/python3 -c "$NUMPY_SUM" "$A" "$B" "$DATA/out_numpy.asc")
T_GDAL=$(wall gdal_sum "$A" "$B" "$DATA/out_gdal.asc")
printf '%-12s %8s %8s\n' "${N}x${N} +" "wall s" "/ tessgrid"
for LINE in "tessgrid $T_CMD" "numpy $T_NUMPY" "gdal_calc.py $T_GDAL"; do
  read -r NAME T <<<"$LINE"
  awk -v n="$NAME" -v t="$T" -v c="$T_CMD" 'BEGIN { printf "%-12s %8.2f %8.1f\n", n, t, t / c }'
done
