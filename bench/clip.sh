#!/usr/bin/env bash
# The raster export tool against the gdalwarp command line, in one run, on one
# SIZE x SIZE x 4 UInt16 scene (Web Mercator, 10 m):
#   clip:      the middle quarter, kept on the source grid  vs  gdalwarp -te
#   reproject: the whole scene to UTM 18S, bilinear         vs  gdalwarp -t_srs
#   bench/clip.sh [SIZE]   (default 10000)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size="${1:-10000}"
"$root/scripts/install-deps" --bench
"$root/scripts/build" rastova-bench-clip >/dev/null
bench="$root/build/rastova-bench-clip"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/rastova-bench.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen

"$bench" generate "$scratch/scene.tif" "$size" 4
mkdir -p "$scratch/ours" "$scratch/gdal"
# The middle quarter of the scene, in whole pixels.
read -r xmin ymin xmax ymax < <(awk -v s="$size" 'BEGIN {
  x0 = -8240000; y0 = -3500000; q = int(s / 4) * 10
  printf "%d %d %d %d\n", x0 + q, y0 - s * 10 + q, x0 + s * 10 - q, y0 - q }')
# The same creation options and warp settings as the program's.
same=(-co COMPRESS=DEFLATE -co PREDICTOR=2 -co TILED=YES -co BIGTIFF=IF_SAFER -wm 128 -multi -wo NUM_THREADS=ALL_CPUS)

run() {
  local name="$1"; shift
  cat "$scratch/scene.tif" >/dev/null # every route starts with the scene in the page cache
  /usr/bin/time -f "%e %M" -o "$scratch/last" "$@" >/dev/null 2>"$scratch/err" || { cat "$scratch/err"; exit 1; }
  read -r seconds kb < "$scratch/last"
  echo "$name $seconds $kb" >> "$scratch/runs"
}

run clip-rastova "$bench" clip "$scratch/scene.tif" "$scratch/ours/clip.tif" "$xmin" "$ymin" "$xmax" "$ymax"
run clip-gdal gdalwarp -q "${same[@]}" -te "$xmin" "$ymin" "$xmax" "$ymax" -dstnodata None \
  "$scratch/scene.tif" "$scratch/gdal/clip.tif"
run reproject-rastova "$bench" reproject "$scratch/scene.tif" "$scratch/ours/utm.tif" 32718
run reproject-gdal gdalwarp -q "${same[@]}" -t_srs EPSG:32718 -r bilinear -dstnodata 0 \
  "$scratch/scene.tif" "$scratch/gdal/utm.tif"

for name in clip utm; do
  cmp -s <(gdalinfo -checksum "$scratch/ours/$name.tif" | grep Checksum) \
         <(gdalinfo -checksum "$scratch/gdal/$name.tif" | grep Checksum) || { echo "$name differs"; exit 1; }
done

echo "scene: ${size}x${size}x4 UInt16; outputs checked equal by checksum"
awk '{ t[$1] += $2; if ($3 > m[$1]) m[$1] = $3 }
     END {
       printf "%-10s %10s %8s %7s %12s %9s\n", "task", "rastova s", "gdal s", "ratio", "rastova MiB", "gdal MiB"
       split("clip reproject", tasks, " ")
       for (i = 1; i <= 2; i++) {
         k = tasks[i]
         printf "%-10s %10.2f %8.2f %7.2f %12.0f %9.0f\n", k, t[k "-rastova"], t[k "-gdal"],
                t[k "-rastova"] / t[k "-gdal"], m[k "-rastova"] / 1024, m[k "-gdal"] / 1024
       }
     }' "$scratch/runs"
