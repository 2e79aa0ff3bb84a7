#!/usr/bin/env bash
# Overviews of a big scene, every figure in one run: the map canvas (1280 x 900, offscreen)
# before any overviews, the program's build against gdaladdo -ro -r average with the same
# levels (uncompressed, as gdaladdo writes by default, and DEFLATE-compressed, on one core and
# on every core), the canvas while the window's queue builds, and the canvas after each build.
#   bench/overviews.sh [SIZE] [BANDS] [ROUNDS] [NOISE]
#     defaults 16000, 4, 3 and 128: a 2 GB UInt16 tiled GeoTIFF with texture that compresses as
#     real scenes do (NOISE 0: a smooth pattern that compresses a hundredfold); each step is run
#     ROUNDS times, the builds taking turns, and the median of each figure is printed, with the
#     largest peak
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size="${1:-16000}"
bands="${2:-4}"
rounds="${3:-3}"
noise="${4:-128}"
"$root/scripts/install-deps" --bench
"$root/scripts/build" rastova-bench-overviews >/dev/null
bench="$root/build/rastova-bench-overviews"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/rastova-bench.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config"
img="$scratch/scene.tif"
# Other work on the machine takes cores from the multi-threaded routes first, so the load is shown.
load_before=$(cut -d' ' -f1 /proc/loadavg)

"$bench" generate "$img" "$size" "$bands" "$noise"
levels=$("$bench" levels "$img")

# Runs a step under /usr/bin/time after reading the image once, so each starts with it in the
# page cache and with no dirty pages of the step before; prints the step's own output, then its
# wall seconds, peak resident MiB and processor seconds (user and system, all threads).
measure() {
  cat "$img" >/dev/null
  sync
  /usr/bin/time -f "%e %M %U %S" -o "$scratch/time" "$@" 2>"$scratch/err" || { cat "$scratch/err"; exit 1; }
  read -r seconds kb user system < "$scratch/time"
  echo "$seconds $((kb / 1024)) $(awk "BEGIN { print $user + $system }")"
}

# The overview checksums of every band and level of an .ovr, one line.
checksums() {
  gdalinfo -checksum "$1" | grep -i checksum | tr -d ' ' | paste -sd' '
}

# The median of each column of the lines on standard input.
medians() {
  local lines columns=()
  lines=$(cat)
  for ((i = 1; i <= $(head -1 <<<"$lines" | wc -w); ++i)); do
    columns+=("$(cut -d' ' -f"$i" <<<"$lines" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')")
  done
  echo "${columns[*]}"
}

# ROUNDS runs of the canvas on the image as it is, medians of the figures. Each opens the image
# as new: without the statistics an earlier run left beside it.
draws() {
  for ((round = 0; round < rounds; ++round)); do
    rm -f "$img.aux.xml"
    [ "${1:-}" = during ] && rm -f "$img.ovr"
    measure "$bench" "${1:-draw}" "$img" | paste -sd' '
  done | medians
}

read -r first bare _ _ <<<"$(draws)"

routes=(rastova gdaladdo gdaladdo-deflate gdaladdo-deflate-all-cores)
build_route() {
  rm -f "$img.ovr"
  # shellcheck disable=SC2086
  case "$1" in
    # The engine's own seconds (readable, compressed) last: the process also spends some starting the
    # libraries of the window.
    rastova) measure "$bench" build "$img" | paste -sd' ' | awk '{ print $(NF - 2), $(NF - 1), $NF, $1, $2 }' ;;
    gdaladdo) measure gdaladdo -q -ro -r average "$img" $levels ;;
    gdaladdo-deflate) measure gdaladdo -q -ro -r average --config COMPRESS_OVERVIEW DEFLATE "$img" $levels ;;
    gdaladdo-deflate-all-cores) measure gdaladdo -q -ro -r average --config COMPRESS_OVERVIEW DEFLATE \
      --config GDAL_NUM_THREADS ALL_CPUS "$img" $levels ;;
  esac
  mv "$img.ovr" "$scratch/$1.ovr"
}
for ((round = 0; round < rounds; ++round)); do
  for route in "${routes[@]}"; do
    build_route "$route" >>"$scratch/$route.times"
  done
done
declare -A seconds peak megabytes processor
for route in "${routes[@]}"; do
  seconds[$route]=$(cut -d' ' -f1 "$scratch/$route.times" | medians)
  processor[$route]=$(cut -d' ' -f3 "$scratch/$route.times" | medians)
  [ "$route" = rastova ] && read -r readable engine <<<"$(cut -d' ' -f4,5 "$scratch/$route.times" | medians)"
  peak[$route]=$(cut -d' ' -f2 "$scratch/$route.times" | sort -n | tail -1)
  megabytes[$route]=$(du -m "$scratch/$route.ovr" | cut -f1)
done
same=$([ "$(checksums "$scratch/rastova.ovr")" = "$(checksums "$scratch/gdaladdo.ovr")" ] && echo same || echo DIFFERENT)

cp "$scratch/gdaladdo.ovr" "$img.ovr"
read -r _ after_gdal _ _ <<<"$(draws)"
read -r during_first during during_count stall queue_readable queue_build after_ours _ during_mib _ <<<"$(draws during)"

echo "scene: ${size}x${size}x${bands} UInt16, tiled, uncompressed, noise $noise; levels: $levels; $(nproc) cores"
echo "median of $rounds rounds (the builds taking turns), largest peak; load average $load_before before, $(cut -d' ' -f1 /proc/loadavg) after"
printf "%-44s %8.2f s\n" "first draw, no overviews (opening included)" "$first"
printf "%-44s %8.2f s\n" "full-extent redraw, no overviews" "$bare"
for route in "${routes[@]}"; do
  case "$route" in
    rastova) label="build: rastova, compressed (DEFLATE, level 1)" ;;
    gdaladdo) label="build: gdaladdo -ro -r average" ;;
    gdaladdo-deflate) label="build: gdaladdo ... COMPRESS_OVERVIEW DEFLATE" ;;
    gdaladdo-deflate-all-cores) label="build: gdaladdo ... DEFLATE, GDAL_NUM_THREADS" ;;
  esac
  printf "%-44s %8.2f s %6d MiB peak %6d MB .ovr %6.2f s processor\n" "$label" "${seconds[$route]}" "${peak[$route]}" \
    "${megabytes[$route]}" "${processor[$route]}"
done
printf "%-44s %8.2f s\n" "build: rastova, readable (in the engine)" "$readable"
printf "%-44s %8.2f s\n" "build: rastova, compressed (in the engine)" "$engine"
printf "%-44s %8.2f\n" "readable: rastova engine / gdaladdo" "$(awk "BEGIN { print $readable / ${seconds[gdaladdo]} }")"
printf "%-44s %8.2f\n" "compressed: rastova / gdaladdo DEFLATE" \
  "$(awk "BEGIN { print ${seconds[rastova]} / ${seconds[gdaladdo-deflate]} }")"
printf "%-44s %8s\n" "overview checksums rastova vs gdaladdo" "$same"
printf "%-44s %8.2f s\n" "first draw while the window builds" "$during_first"
printf "%-44s %8.3f s  (%d redraws)\n" "full-extent redraw while it builds" "$during" "$during_count"
printf "%-44s %8d ms\n" "longest stall of the window during the build" "$stall"
printf "%-44s %8.2f s  (drawing alongside)\n" "overviews readable in the window after" "$queue_readable"
printf "%-44s %8.2f s  %6d MiB peak of the window\n" "compressed in the window after" "$queue_build" "$during_mib"
printf "%-44s %8.3f s\n" "full-extent redraw after the rastova build" "$after_ours"
printf "%-44s %8.3f s\n" "full-extent redraw after gdaladdo" "$after_gdal"
printf "%-44s %8.2f\n" "redraw ratio rastova / gdaladdo" "$(awk "BEGIN { print $after_ours / $after_gdal }")"
printf "%-44s %8.1f\n" "redraw speed-up from the rastova build" "$(awk "BEGIN { print $bare / $after_ours }")"
