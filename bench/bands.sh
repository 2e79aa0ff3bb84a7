#!/usr/bin/env bash
# Image combination and separation against the GDAL command-line route, in one run:
#   stack: three 1-band UInt16 images of SIZE x SIZE  vs  gdalbuildvrt -separate + gdal_translate
#   split: one 6-band UInt16 image of SPLIT x SPLIT   vs  gdal_translate -b N for each band
#   bench/bands.sh [SIZE] [SPLIT]   (defaults 10000 and 8000)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size="${1:-10000}"
split="${2:-8000}"
"$root/scripts/install-deps" --bench
"$root/scripts/build" rastova-bench-bands >/dev/null
bench="$root/build/rastova-bench-bands"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/rastova-bench.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen

for i in 1 2 3; do "$bench" generate "$scratch/single$i.tif" "$size" 1; done
"$bench" generate "$scratch/six.tif" "$split" 6
mkdir -p "$scratch/ours" "$scratch/gdal"

# Runs a command under /usr/bin/time; adds its seconds and keeps the largest peak for $1.
run() {
  local name="$1"; shift
  /usr/bin/time -f "%e %M" -o "$scratch/last" "$@" >/dev/null 2>"$scratch/err" || { cat "$scratch/err"; exit 1; }
  read -r seconds kb < "$scratch/last"
  echo "$name $seconds $kb" >> "$scratch/runs"
}

run stack-rastova "$bench" stack "$scratch/ours/stack.tif" "$scratch"/single{1,2,3}.tif
run stack-gdal gdalbuildvrt -q -separate "$scratch/gdal/stack.vrt" "$scratch"/single{1,2,3}.tif
run stack-gdal gdal_translate -q "$scratch/gdal/stack.vrt" "$scratch/gdal/stack.tif"
run split-rastova "$bench" split "$scratch/six.tif" "$scratch/ours"
for band in 1 2 3 4 5 6; do
  run split-gdal gdal_translate -q -b "$band" "$scratch/six.tif" "$scratch/gdal/band$band.tif"
done

cmp -s <(gdalinfo -checksum "$scratch/ours/stack.tif" | grep Checksum) \
       <(gdalinfo -checksum "$scratch/gdal/stack.tif" | grep Checksum) || { echo "stacks differ"; exit 1; }
for band in 1 2 3 4 5 6; do
  cmp -s <(gdalinfo -checksum "$scratch/ours/band$band.tif" | grep Checksum) \
         <(gdalinfo -checksum "$scratch/gdal/band$band.tif" | grep Checksum) || { echo "band $band differs"; exit 1; }
done

echo "stack: 3 x ${size}x${size} UInt16; split: ${split}x${split}x6 UInt16 (outputs checked equal)"
awk '{ t[$1] += $2; if ($3 > m[$1]) m[$1] = $3 }
     END {
       printf "%-8s %14s %10s %10s %16s %14s\n", "task", "rastova s", "gdal s", "ratio", "rastova MiB", "gdal MiB"
       split("stack split", tasks, " ")
       for (i = 1; i <= 2; i++) {
         k = tasks[i]
         printf "%-8s %14.2f %10.2f %10.2f %16.0f %14.0f\n", k, t[k "-rastova"], t[k "-gdal"],
                t[k "-rastova"] / t[k "-gdal"], m[k "-rastova"] / 1024, m[k "-gdal"] / 1024
       }
     }' "$scratch/runs"
