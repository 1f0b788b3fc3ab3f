#!/usr/bin/env bash
# Peak memory of the Photoshop exports: layers are rendered and written one
# at a time, so an export may hold at most one layer's pixels more than a
# single-layer export of the same size (the input, the filter's working
# copies and one layer), and a document in the large format is written from
# the rendered result without a copy of it.
#
#   input only    globaro info PANORAMA              (the panorama read)
#   one face      globaro export psd --size SxS      (one rectilinear layer)
#   six faces     globaro export cube --cube-side S  (the cube map)
#   wide render   globaro render --size WIDE x.psb   (the result as a large document)
#
# Prints the peak resident memory of each, and checks six faces - one face
# <= one layer's pixels (S x S x 4 channels x bytes per channel), and wide
# render - input only <= its layer (WIDE x 4 bytes) plus twice the working
# copies of one face's run, each with a small allowance for the program's
# own variation. Exit status 1 when one does not hold. Not part of CI.
#
# Usage: bench/psd_cube_memory.sh [GLOBARO] [PANORAMA_SIZE] [FACE] [WORKDIR] [WIDE]
#   GLOBARO        the globaro program (default: build/bin/globaro under the repository)
#   PANORAMA_SIZE  the demo panorama's size (default 8192x4096, 8 bits)
#   FACE           pixels per cube face (default 2048)
#   WORKDIR        scratch folder (default: a new folder under /tmp)
#   WIDE           the size of the wide render (default 40000x5000)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
globaro=${1:-$repo/build/bin/globaro}
size=${2:-8192x4096}
face=${3:-2048}
work=${4:-$(mktemp -d /tmp/globaro-psd-memory.XXXXXX)}
wide=${5:-40000x5000}
mkdir -p "$work"
[[ -x $globaro ]] || { echo "no globaro program at $globaro" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time (Debian's time package)" >&2; exit 2; }

input=$work/panorama-$size.png
if [[ ! -f $input ]]; then
    "$globaro" demo "$work/demo" --size "$size" >/dev/null
    cp "$work/demo/demo-panorama.png" "$input"
fi

# peak NAME COMMAND...: runs once, prints and returns the peak in KiB.
peak() {
    local name=$1
    shift
    /usr/bin/time -f '%M' -o "$work/peak.txt" "$@" >"$work/last.log" 2>&1 || {
        echo "FAILED: $name: $*" >&2
        tail -3 "$work/last.log" >&2
        exit 1
    }
    local kb
    kb=$(tail -1 "$work/peak.txt")
    printf '  %-12s %8d MiB\n' "$name" "$((kb / 1024))" >&2
    echo "$kb"
}

echo "peak memory, panorama $size, faces of $face pixels:" >&2
peak "input only" "$globaro" info "$input" >/dev/null
one=$(peak "one face" "$globaro" export psd "$input" "$work/face.psd" --size "${face}x$face" \
    --output rectilinear --fov 90 --quiet)
six=$(peak "six faces" "$globaro" export cube "$input" "$work/Cube map.psd" --cube-side "$face" --quiet)

layer_kb=$((face * face * 4 / 1024))  # 8-bit RGBA
allowance_kb=$((16 * 1024))
extra=$((six - one))
printf 'six faces hold %d MiB more than one (one layer: %d MiB)\n' "$((extra / 1024))" "$((layer_kb / 1024))"
status=0
if ((extra > layer_kb + allowance_kb)); then
    echo "FAIL: the cube export holds more than one layer beyond a single face" >&2
    status=1
fi

wide_kb=$(peak "wide render" "$globaro" render "$input" "$work/wide.psb" --size "$wide" --output Mollweide --quiet)
rm -f "$work/wide.psb"
wide_layer_kb=$((${wide%x*} * ${wide#*x} * 4 / 1024))  # 8-bit RGBA canvas
working_kb=$((one - layer_kb))                          # the input and a run's working copies
printf 'wide render %s holds %d MiB (its layer: %d MiB, input and working copies: %d MiB)\n' "$wide" \
    "$((wide_kb / 1024))" "$((wide_layer_kb / 1024))" "$((working_kb / 1024))"
if ((wide_kb > wide_layer_kb + working_kb + allowance_kb)); then
    echo "FAIL: the wide render holds more than its layer beyond the input and a run's working copies" >&2
    status=1
fi
((status == 0)) && echo "ok"
exit $status
