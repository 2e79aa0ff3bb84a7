#!/usr/bin/env bash
# Overviews of a big scene, every figure in one run: the map canvas (1280 x 900, offscreen)
# before any overviews, the program's build against gdaladdo -ro -r average with the same
# levels, and the canvas after each.
#   bench/overviews.sh [SIZE] [BANDS]   (defaults 16000 and 4: a 2 GB UInt16 tiled GeoTIFF)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size="${1:-16000}"
bands="${2:-4}"
"$root/scripts/install-deps" --bench
"$root/scripts/build" rastova-bench-overviews >/dev/null
bench="$root/build/rastova-bench-overviews"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/rastova-bench.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config"
img="$scratch/scene.tif"

"$bench" generate "$img" "$size" "$bands"
levels=$("$bench" levels "$img")

# Runs a step under /usr/bin/time after reading the image once, so each starts with it in the
# page cache; prints the step's own output, then its wall seconds and peak resident MiB.
measure() {
  cat "$img" >/dev/null
  /usr/bin/time -f "%e %M" -o "$scratch/time" "$@" 2>"$scratch/err" || { cat "$scratch/err"; exit 1; }
  read -r seconds kb < "$scratch/time"
  echo "$seconds $((kb / 1024))"
}

read -r first bare _ _ <<<"$(measure "$bench" draw "$img" | paste -sd' ')"
read -r ours_inside ours ours_mib <<<"$(measure "$bench" build "$img" | paste -sd' ')"
read -r _ after_ours _ _ <<<"$(measure "$bench" draw "$img" | paste -sd' ')"
ours_size=$(du -m "$img.ovr" | cut -f1)
mv "$img.ovr" "$scratch/ours.ovr"
# shellcheck disable=SC2086
read -r gdal gdal_mib <<<"$(measure gdaladdo -q -ro -r average "$img" $levels)"
read -r _ after_gdal _ _ <<<"$(measure "$bench" draw "$img" | paste -sd' ')"
gdal_size=$(du -m "$img.ovr" | cut -f1)

echo "scene: ${size}x${size}x${bands} UInt16, tiled, uncompressed; levels: $levels; $(nproc) cores"
printf "%-44s %8.2f s\n" "first draw, no overviews (opening included)" "$first"
printf "%-44s %8.2f s\n" "full-extent redraw, no overviews" "$bare"
printf "%-44s %8.2f s  (%s in the engine) %6d MiB peak %6d MB .ovr\n" "build: rastova" "$ours" "$ours_inside" "$ours_mib" "$ours_size"
printf "%-44s %8.2f s  %23d MiB peak %6d MB .ovr\n" "build: gdaladdo -ro -r average" "$gdal" "$gdal_mib" "$gdal_size"
printf "%-44s %8.2f\n" "build ratio rastova / gdaladdo" "$(awk "BEGIN { print $ours / $gdal }")"
printf "%-44s %8.3f s\n" "full-extent redraw after the rastova build" "$after_ours"
printf "%-44s %8.3f s\n" "full-extent redraw after gdaladdo" "$after_gdal"
printf "%-44s %8.2f\n" "redraw ratio rastova / gdaladdo" "$(awk "BEGIN { print $after_ours / $after_gdal }")"
printf "%-44s %8.1f\n" "redraw speed-up from the rastova build" "$(awk "BEGIN { print $bare / $after_ours }")"
