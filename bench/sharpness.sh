#!/usr/bin/env bash
# How sharp globaro's lookups are, and whether they alias, against an exact
# reference and against ffmpeg's v360 filter (bilinear and Lanczos):
#
#   shrink     8192 x 4096 panorama -> 90-degree view (a cube face) 1024 x 1024
#   one-to-one 8192 x 4096 panorama -> 90-degree view 2048 x 2048
#   enlarge    2048 x 1024 panorama -> 60-degree view 2048 x 2048
#
# The panoramas hold an analytic function of the direction (plane waves over
# the sphere, band-limited to 128 cycles per radian for the 8192-pixel one
# and 64 for the 2048-pixel one, well inside both the input's and the
# output's resolution), written as 16-bit PNG; the reference of each view is
# the mean of 4 x 4 stratified exact samples per output pixel. The same three
# views of the built-in demo scene (hard edges, a sun disc, a chequered
# ground; its panoramas as `globaro demo` draws them, 8-bit) score the
# filters on the detail of photographs rather than of smooth waves. Prints the
# PSNR (dB) of every render against its reference, and the grey standard
# deviation of a 0.25-degree checker shrunk into a 512 x 256 Mollweide map
# (an even grey, free of moire, is 0; at most 0.02 is the mark).
#
# Usage: bench/sharpness.sh [GLOBARO] [WORKDIR]
#   GLOBARO  the globaro program (default: build/bin/globaro)
#   WORKDIR  scratch folder, kept between runs: the panoramas and references
#            (a few minutes of work) are made once (default /tmp/globaro-sharpness)
# Needs build/bin/globaro_sharpness (built with the bench targets) and ffmpeg.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
globaro=${1:-$repo/build/bin/globaro}
work=${2:-/tmp/globaro-sharpness}
harness=$repo/build/bin/globaro_sharpness
mkdir -p "$work"
for tool in "$globaro" "$harness"; do
    if [[ ! -x $tool ]]; then
        echo "no program at $tool (build it first)" >&2
        exit 2
    fi
done
command -v ffmpeg >/dev/null || {
    echo "ffmpeg is needed for the comparison" >&2
    exit 2
}

# make FILE COMMAND...: runs COMMAND unless FILE exists.
make() {
    local file=$1
    shift
    [[ -f $file ]] || "$@"
}
make "$work/src8k.png" "$harness" source "$work/src8k.png" 8192x4096 128
make "$work/src2k.png" "$harness" source "$work/src2k.png" 2048x1024 64
make "$work/checker.png" "$harness" checker "$work/checker.png" 8192x4096 0.25
make "$work/ref-shrink.png" "$harness" reference "$work/ref-shrink.png" 1024 90 0 0 128
make "$work/ref-one.png" "$harness" reference "$work/ref-one.png" 2048 90 0 0 128
make "$work/ref-enlarge.png" "$harness" reference "$work/ref-enlarge.png" 2048 60 0 0 64
make "$work/demo8k/demo-panorama.png" "$globaro" demo "$work/demo8k" --size 8192x4096 >/dev/null
make "$work/demo2k/demo-panorama.png" "$globaro" demo "$work/demo2k" --size 2048x1024 >/dev/null
make "$work/ref-demo-shrink.png" "$harness" demo-reference "$work/ref-demo-shrink.png" 1024 90 0 0
make "$work/ref-demo-one.png" "$harness" demo-reference "$work/ref-demo-one.png" 2048 90 0 0
make "$work/ref-demo-enlarge.png" "$harness" demo-reference "$work/ref-demo-enlarge.png" 2048 60 0 0

ff() {
    ffmpeg -hide_banner -loglevel error -y -i "$1" -vf "$2" -pix_fmt rgb48be -frames:v 1 "$3"
}

printf '%-13s %10s %14s %14s\n' case globaro 'v360 bilinear' 'v360 Lanczos'
# case NAME SOURCE SIZE FOV
case_row() {
    local name=$1 src=$2 size=$3 fov=$4
    "$globaro" render "$src" "$work/g-$name.png" --quiet --output rectilinear --fov "$fov" \
        --size "${size}x${size}" --depth 16
    local row=("$("$harness" psnr "$work/g-$name.png" "$work/ref-$name.png")")
    for interp in line lanczos; do
        ff "$src" "v360=e:flat:h_fov=$fov:v_fov=$fov:w=$size:h=$size:interp=$interp" "$work/f-$name-$interp.png"
        row+=("$("$harness" psnr "$work/f-$name-$interp.png" "$work/ref-$name.png")")
    done
    printf '%-13s %10s %14s %14s\n' "$name" "${row[@]}"
}
case_row shrink "$work/src8k.png" 1024 90
case_row one "$work/src8k.png" 2048 90
case_row enlarge "$work/src2k.png" 2048 60
case_row demo-shrink "$work/demo8k/demo-panorama.png" 1024 90
case_row demo-one "$work/demo8k/demo-panorama.png" 2048 90
case_row demo-enlarge "$work/demo2k/demo-panorama.png" 2048 60

"$globaro" render "$work/checker.png" "$work/g-checker.png" --quiet --output Mollweide --size 512x256 --depth 16
echo "checker -> Mollweide 512x256, grey std: $("$harness" ellipse-std "$work/g-checker.png")"
