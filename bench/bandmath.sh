#!/usr/bin/env bash
# Band math on a generated 4-band image, three routes in one run: the program's
# engine, the QGIS raster calculator called directly, and gdal_calc.py.
#   bench/bandmath.sh [SIZE]   (default 8000: 8000 x 8000 pixels, 512 MB of input)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size="${1:-8000}"
"$root/scripts/install-deps" --bench
"$root/scripts/build" rastova-bench-bandmath >/dev/null
bench="$root/build/rastova-bench-bandmath"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen

"$bench" generate "$scratch/img.tif" "$size"
echo "input: ${size} x ${size} pixels, 4 bands UInt16; NDVI of bands 4 and 3 to Float32 GeoTIFF"

measure() { # name, command...
  local name="$1"; shift
  /usr/bin/time -v -o "$scratch/$name.time" "$@" >/dev/null 2>"$scratch/$name.err" \
    || { echo "$name failed:"; cat "$scratch/$name.err"; exit 1; }
  local seconds kb
  seconds=$(grep "Elapsed (wall clock)" "$scratch/$name.time" | awk -F': ' '{print $2}' \
    | awk -F: '{ if (NF == 3) print $1*3600 + $2*60 + $3; else print $1*60 + $2 }')
  kb=$(grep "Maximum resident set size" "$scratch/$name.time" | awk -F': ' '{print $2}')
  echo "$name $seconds $kb" >> "$scratch/results"
}

measure rastova "$bench" rastova "$scratch/img.tif" "$scratch/rastova.tif"
measure qgis "$bench" qgis "$scratch/img.tif" "$scratch/qgis.tif"
measure gdal_calc gdal_calc.py --quiet -A "$scratch/img.tif" --A_band=4 -B "$scratch/img.tif" --B_band=3 \
  --type=Float32 --outfile="$scratch/gdal.tif" --calc="(A.astype(float) - B) / (A.astype(float) + B)"

awk 'NR == FNR { if ($1 == "gdal_calc") base = $2; next }
     FNR == 1 { printf "%-10s %10s %12s %16s\n", "route", "seconds", "peak MiB", "time / gdal_calc" }
     { printf "%-10s %10.2f %12.0f %16.2f\n", $1, $2, $3 / 1024, $2 / base }' "$scratch/results" "$scratch/results"
