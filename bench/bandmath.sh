#!/usr/bin/env bash
# Band math on a generated 4-band UInt16 image, three routes in one run: the
# program's engine, the QGIS raster calculator called directly, and gdal_calc.py.
#   bench/bandmath.sh           8000 x 8000 pixels (512 MB of input)
#   bench/bandmath.sh --large   also 20000 x 20000 (3.2 GB of input on disk)
#   bench/bandmath.sh SIZE...   the sizes given
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(8000)
[ "${sizes[0]}" = "--large" ] && sizes=(8000 20000)
"$root/scripts/install-deps" --bench
"$root/scripts/build" rastova-bench-bandmath >/dev/null
bench="$root/build/rastova-bench-bandmath"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/rastova-bench.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen

# Runs a route under /usr/bin/time after reading the input once, so each starts
# with it in the page cache; records seconds and peak resident KiB.
measure() { # size, name, command...
  local size="$1" name="$2"; shift 2
  cat "$scratch/img.tif" >/dev/null
  rm -f "$scratch/$name.tif"
  /usr/bin/time -v -o "$scratch/time" "$@" >/dev/null 2>"$scratch/err" \
    || { echo "$name failed:"; cat "$scratch/err"; exit 1; }
  local seconds kb cpu
  seconds=$(grep "Elapsed (wall clock)" "$scratch/time" | awk -F': ' '{print $2}' \
    | awk -F: '{ if (NF == 3) print $1*3600 + $2*60 + $3; else print $1*60 + $2 }')
  kb=$(grep "Maximum resident set size" "$scratch/time" | awk -F': ' '{print $2}')
  cpu=$(awk -F': ' '/User time|System time/ { t += $2 } END { print t }' "$scratch/time")
  echo "$size $name $seconds $kb $cpu" >> "$scratch/results"
}

for size in "${sizes[@]}"; do
  rm -f "$scratch"/*.tif
  "$bench" generate "$scratch/img.tif" "$size"
  measure "$size" idle "$bench" idle "$scratch/img.tif"
  measure "$size" rastova "$bench" rastova "$scratch/img.tif" "$scratch/rastova.tif"
  measure "$size" qgis "$bench" qgis "$scratch/img.tif" "$scratch/qgis.tif"
  measure "$size" pyidle /usr/bin/python3 -c "from osgeo_utils import gdal_calc"
  measure "$size" gdal_calc gdal_calc.py --quiet -A "$scratch/img.tif" --A_band=4 -B "$scratch/img.tif" --B_band=3 \
    --type=Float32 --outfile="$scratch/gdal_calc.tif" --calc="(A.astype(float) - B) / (A.astype(float) + B)"
  # Same pixels as the calculator, or the timing means nothing.
  cmp -s <(gdalinfo -checksum "$scratch/rastova.tif" | grep Checksum) \
         <(gdalinfo -checksum "$scratch/qgis.tif" | grep Checksum) || { echo "outputs differ at $size"; exit 1; }
done

echo "NDVI of bands 4 and 3 of a 4-band UInt16 image to Float32 GeoTIFF; $(nproc) cores; outputs checked equal"
echo "growth: peak resident memory above the same process with QGIS and the image loaded (idle);" \
  "cpu: user + system seconds; work: seconds less the route's own start-up (QGIS initialised and the image" \
  "opened, or Python with GDAL imported), as inside the running program; load average before:" \
  "$(cut -d' ' -f1-3 /proc/loadavg)"
awk '{ s[$1 " " $2] = $3; m[$1 " " $2] = $4; c[$1 " " $2] = $5; if (!($1 in seen)) { seen[$1] = 1; order[++n] = $1 } }
     END {
       printf "%-7s %-10s %8s %7s %9s %11s %8s %12s %7s %8s %12s\n", "size", "route", "seconds", "cpu s", "peak MiB",
              "growth MiB", "/ qgis", "/ gdal_calc", "work s", "/ qgis", "/ gdal_calc"
       for (i = 1; i <= n; i++) {
         z = order[i]
         split("rastova qgis gdal_calc", routes, " ")
         for (r = 1; r <= 3; r++) w[routes[r]] = s[z " " routes[r]] - s[z " " (routes[r] == "gdal_calc" ? "pyidle" : "idle")]
         for (r = 1; r <= 3; r++) {
           k = z " " routes[r]
           printf "%-7s %-10s %8.2f %7.2f %9.0f %11.0f %8.2f %12.2f %7.2f %8.2f %12.2f\n", z, routes[r], s[k], c[k],
                  m[k] / 1024, (m[k] - m[z " idle"]) / 1024, s[k] / s[z " qgis"], s[k] / s[z " gdal_calc"],
                  w[routes[r]], w[routes[r]] / w["qgis"], w[routes[r]] / w["gdal_calc"]
         }
       }
     }' "$scratch/results"
