#!/usr/bin/env bash
# Side-by-side timing of globaro and the field's common tools on the same
# jobs, alternating run by run so that both see the same machine load:
#
#   cube strip   equirectangular 8192x4096 -> 6 x 1 cube strip 12288 x 2048
#                (globaro "Unity 6 frames" at "best"; ffmpeg v360 e -> c6x1,
#                bilinear ("line") and Lanczos)
#   flat view    -> rectilinear 2048 x 2048, 90 degrees (ffmpeg v360 e -> flat)
#   rotation     -> equirectangular turned by yaw 30, pitch 20, roll 10
#                (globaro --lon 30 --lat 20 --spin 10; ffmpeg v360 e -> e)
#   Mollweide    equirectangular world map -> Mollweide 4096 x 2048
#                (gdalwarp with PROJ, +proj=moll)
#
#   decode       reading the input alone (ffmpeg decoding it to nothing): the
#                floor of any job that must read the whole file
#   batch        8 frames of 8192x4096 turned into cube strips, globaro's batch
#                against ffmpeg reading the same image sequence through v360
#   small        a 1024x512 JPEG panorama to a 512x512 view (start-up bound)
#
# Prints the median wall time and the median peak resident memory of each
# tool per job, the ratio peer time / globaro time (above 1: globaro is
# faster), and then each target with its figure, its threshold and whether
# it is met:
#   speed    globaro time / max(0.5 x fastest peer, 1.2 x decode)   <= 1
#   batch    globaro frames per second / ffmpeg's                     >= 1.5
#   start    the small job's wall time                                < 0.15 s
#   memory   the cube strip's peak resident memory                   <= 300 MiB
# Not part of CI; installs ffmpeg, gdal-bin and time with apt-get when they
# are missing.
#
# Usage: bench/compare_with_peers.sh [--quick] [GLOBARO] [RUNS] [WORKDIR]
#   --quick  a smoke check: the inputs at a quarter of the size, one run
#            (the figures are then not comparable with the targets)
#   GLOBARO  the globaro program (default: build/bin/globaro under the repository)
#   RUNS     runs per tool and job (default 3)
#   WORKDIR  scratch folder (default: a new folder under /tmp)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
quick=0
if [[ ${1:-} == --quick ]]; then
    quick=1
    shift
fi
globaro=${1:-$repo/build/bin/globaro}
runs=${2:-3}
((quick)) && runs=1
# Sizes: the panorama, the cube strip, the flat view, Mollweide, the small job's input.
if ((quick)); then
    pano=2048x1024 strip=3072x512 flat=512x512 moll=1024x512
else
    pano=8192x4096 strip=12288x2048 flat=2048x2048 moll=4096x2048
fi
small=1024x512
work=${3:-$(mktemp -d /tmp/globaro-peers.XXXXXX)}
mkdir -p "$work"

if [[ ! -x $globaro ]]; then
    echo "no globaro program at $globaro (build it, or pass its path)" >&2
    exit 2
fi

need=()
command -v ffmpeg >/dev/null || need+=(ffmpeg)
command -v gdalwarp >/dev/null || need+=(gdal-bin)
[[ -x /usr/bin/time ]] || need+=(time)
if ((${#need[@]})); then
    echo "installing: ${need[*]}" >&2
    sudo=""
    [[ $(id -u) -ne 0 ]] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}" >/dev/null
fi

# The input: the demo panorama at 8192 x 4096, 8 bits.
input=$work/panorama.png
if [[ ! -f $input ]]; then
    "$globaro" demo "$work/demo" --size "$pano" >/dev/null
    cp "$work/demo/demo-panorama.png" "$input"
fi
# The batch: 8 frames of it (copies, so that no file is read from the cache of another's name).
frames=$work/frames
if [[ ! -f $frames/frame8.png ]]; then
    mkdir -p "$frames"
    for i in 1 2 3 4 5 6 7 8; do cp "$input" "$frames/frame$i.png"; done
fi
# The small job's input: a 1024 x 512 JPEG panorama.
smallInput=$work/small.jpg
if [[ ! -f $smallInput ]]; then
    "$globaro" demo "$work/small-demo" --size "$small" >/dev/null
    ffmpeg -hide_banner -loglevel error -y -i "$work/small-demo/demo-panorama.png" -q:v 2 "$smallInput"
fi
# The same picture as a georeferenced world map for gdalwarp (made once, not timed).
world=$work/world.tif
if [[ ! -f $world ]]; then
    gdal_translate -q -of GTiff -a_srs EPSG:4326 -a_ullr -180 90 180 -90 "$input" "$world"
fi

results=$work/results.txt
: >"$results"

# measure JOB TOOL COMMAND...: one timed run; appends "JOB TOOL seconds kilobytes".
measure() {
    local job=$1 tool=$2
    shift 2
    local stats=$work/time.txt
    if ! /usr/bin/time -f '%e %M' -o "$stats" "$@" >"$work/last.log" 2>&1; then
        echo "FAILED: $job $tool: $*" >&2
        tail -5 "$work/last.log" >&2
        return 0
    fi
    read -r seconds kb <"$stats"
    echo "$job $tool $seconds $kb" >>"$results"
    printf '  %-10s %-14s %7.2f s %8.0f MiB\n' "$job" "$tool" "$seconds" "$((kb / 1024))" >&2
}


for ((run = 1; run <= runs; ++run)); do
    echo "run $run of $runs" >&2
    measure decode png ffmpeg -hide_banner -loglevel error -i "$input" -f null -
    measure decode tiff ffmpeg -hide_banner -loglevel error -i "$world" -f null -

    measure cube globaro "$globaro" render "$input" "$work/g-cube.png" --quiet \
        --output "Unity 6 frames" --size "$strip"
    measure cube ffmpeg ffmpeg -hide_banner -loglevel error -y -i "$input" \
        -vf "v360=e:c6x1:out_forder=rludfb:w=${strip%x*}:h=${strip#*x}:interp=line" -frames:v 1 "$work/f-cube.png"
    measure cube ffmpeg-lanczos ffmpeg -hide_banner -loglevel error -y -i "$input" \
        -vf "v360=e:c6x1:out_forder=rludfb:w=${strip%x*}:h=${strip#*x}:interp=lanczos" -frames:v 1 \
        "$work/f-cube-lanczos.png"

    measure flat globaro "$globaro" render "$input" "$work/g-flat.png" --quiet \
        --output rectilinear --fov 90 --size "$flat"
    measure flat ffmpeg ffmpeg -hide_banner -loglevel error -y -i "$input" \
        -vf "v360=e:flat:h_fov=90:v_fov=90:w=${flat%x*}:h=${flat#*x}" -frames:v 1 "$work/f-flat.png"

    measure rotate globaro "$globaro" render "$input" "$work/g-rotate.png" --quiet \
        --output equirectangular --lon 30 --lat 20 --spin 10 --size "$pano"
    measure rotate ffmpeg ffmpeg -hide_banner -loglevel error -y -i "$input" \
        -vf "v360=e:e:yaw=30:pitch=20:roll=10" -frames:v 1 "$work/f-rotate.png"

    measure mollweide globaro "$globaro" render "$world" "$work/g-moll.png" --quiet \
        --output Mollweide --size "$moll"
    measure mollweide gdalwarp gdalwarp -q -overwrite -t_srs '+proj=moll +datum=WGS84' \
        -ts "${moll%x*}" "${moll#*x}" -r bilinear -wo NUM_THREADS=ALL_CPUS -multi "$world" "$work/w-moll.tif"

    rm -rf "$work/g-batch" "$work/f-batch"
    mkdir -p "$work/f-batch"
    measure batch globaro "$globaro" render "$frames"/frame{1..8}.png --out "$work/g-batch/{name}.png" --quiet \
        --output "Unity 6 frames" --size "$strip"
    measure batch ffmpeg ffmpeg -hide_banner -loglevel error -y -start_number 1 -i "$frames/frame%d.png" \
        -vf "v360=e:c6x1:out_forder=rludfb:w=${strip%x*}:h=${strip#*x}:interp=line" "$work/f-batch/frame%d.png"

    # The small job is over in a tenth of a second: five runs count as one.
    for _ in 1 2 3 4 5; do
        measure small globaro "$globaro" render "$smallInput" "$work/g-small.jpg" --quiet \
            --output rectilinear --fov 90 --size 512x512
    done
done

# Medians per job and tool, the ratio against globaro, then the targets.
python3 - "$results" "$quick" <<'PY'
import statistics, sys
rows = [line.split() for line in open(sys.argv[1]) if line.strip()]
quick = sys.argv[2] == "1"
table = {}
for job, tool, sec, kb in rows:
    table.setdefault(job, {}).setdefault(tool, []).append((float(sec), int(kb)))
med = {}
print(f"{'job':<10} {'tool':<14} {'runs':>4} {'median s':>9} {'peak MiB':>9} {'peer/globaro':>13}")
for job, tools in table.items():
    mine = tools.get("globaro")
    mine_s = statistics.median(s for s, _ in mine) if mine else None
    for tool, vals in tools.items():
        s = statistics.median(v for v, _ in vals)
        mem = statistics.median(k for _, k in vals) / 1024
        med[(job, tool)] = (s, mem)
        ratio = "" if tool == "globaro" or not mine_s or job == "decode" else f"{s / mine_s:.2f}"
        print(f"{job:<10} {tool:<14} {len(vals):>4} {s:>9.2f} {mem:>9.0f} {ratio:>13}")

print()
print(f"{'target':<28} {'figure':>9} {'threshold':>11}  met")
def target(name, figure, threshold, met):
    print(f"{name:<28} {figure:>9} {threshold:>11}  {'yes' if met else 'NO'}")
decode_of = {"cube": "png", "flat": "png", "rotate": "png", "mollweide": "tiff"}
for job, source in decode_of.items():
    if (job, "globaro") not in med:
        continue
    peers = [s for (j, t), (s, _) in med.items() if j == job and t != "globaro" and t != "ffmpeg-lanczos"]
    floor = max(0.5 * min(peers) if peers else 0.0, 1.2 * med.get(("decode", source), (0.0, 0))[0])
    if floor > 0:
        figure = med[(job, "globaro")][0] / floor
        target(f"speed {job} (time / bound)", f"{figure:.2f}", "<= 1.00", figure <= 1.0)
if ("batch", "globaro") in med and ("batch", "ffmpeg") in med:
    figure = med[("batch", "ffmpeg")][0] / med[("batch", "globaro")][0]
    target("batch fps / ffmpeg's", f"{figure:.2f}", ">= 1.50", figure >= 1.5)
if ("small", "globaro") in med:
    figure = med[("small", "globaro")][0]
    target("small job wall s", f"{figure:.3f}", "< 0.150", figure < 0.15)
if ("cube", "globaro") in med:
    figure = med[("cube", "globaro")][1]
    target("cube strip peak MiB", f"{figure:.0f}", "<= 300", figure <= 300)
if quick:
    print("(quick mode: a quarter of the size and one run; not the targets' conditions)")
PY
echo "(work files in $work)" >&2
