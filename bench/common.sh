# bench/common.sh - what the command timing scripts share: the release build and its data
# folder, the sizes asked for, and the wall time of one run. Sourced by bench/tool.sh,
# bench/calc.sh and bench/peers.sh.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$ROOT/build/release
DATA=${TESSGRID_BENCH_DATA:-$BUILD/bench_data}
SIZES=("$@")
[ ${#SIZES[@]} -gt 0 ] || SIZES=(3000)

cmake --workflow --preset release >/dev/null
mkdir -p "$DATA"

# Prints the wall time of one run of the command line, in seconds.
wall() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }'
}
