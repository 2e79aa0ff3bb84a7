#!/usr/bin/env bash
# Opening full-size products as scenes against the manual GDAL route (gdalbuildvrt -separate of the band files):
#   bench/scenes.sh
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps" --bench
"$root/scripts/build" rastova-bench-scenes >/dev/null
bench="$root/build/rastova-bench-scenes"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/rastova-bench.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen

landsat="$scratch/LC08_L2SP_125052_20230105_20230110_02_T1"
safe="$scratch/S2A_MSIL2A_20230105T032131_N0509_R118_T48PWS_20230105T070000.SAFE"
"$bench" landsat "$landsat"
tar -cf "$landsat.tar" -C "$landsat" $(ls "$landsat")
"$bench" sentinel2 "$safe"
cat "$landsat"/* "$landsat.tar" "$safe"/GRANULE/*/IMG_DATA/*/* > /dev/null

run() {
  local name="$1"; shift
  /usr/bin/time -f "%e s, peak %M KB" -o "$scratch/last" "$@" > "$scratch/out" 2> "$scratch/err" || { cat "$scratch/err"; exit 1; }
  echo "$name: $(cat "$scratch/out" | tr '\n' ' ') total $(cat "$scratch/last")"
}
run "Landsat folder   rastova" "$bench" open "$landsat" "$scratch/scenes"
run "Landsat folder   gdalbuildvrt -separate" gdalbuildvrt -q -separate "$scratch/l.vrt" "$landsat"/*_SR_B*.TIF
run "Landsat tar      rastova" "$bench" open "$landsat.tar" "$scratch/scenes"
run "Landsat tar      gdalbuildvrt -separate" gdalbuildvrt -q -separate "$scratch/t.vrt" $(for f in "$landsat"/*_SR_B*.TIF; do echo "/vsitar/$landsat.tar/$(basename "$f")"; done)
run "Sentinel-2 SAFE  rastova" "$bench" open "$safe" "$scratch/scenes"
run "Sentinel-2 SAFE  gdalbuildvrt -separate" gdalbuildvrt -q -separate -resolution highest "$scratch/s.vrt" "$safe"/GRANULE/*/IMG_DATA/R*/*_B*.tif
