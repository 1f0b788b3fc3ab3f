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
# Prints the median wall time and the median peak resident memory of each
# tool per job, and the ratio peer time / globaro time (above 1: globaro is
# faster). Not part of CI; installs ffmpeg, gdal-bin and time with apt-get
# when they are missing.
#
# Usage: bench/compare_with_peers.sh [GLOBARO] [RUNS] [WORKDIR]
#   GLOBARO  the globaro program (default: build/bin/globaro under the repository)
#   RUNS     runs per tool and job (default 3)
#   WORKDIR  scratch folder (default: a new folder under /tmp)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
globaro=${1:-$repo/build/bin/globaro}
runs=${2:-3}
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
    "$globaro" demo "$work/demo" --size 8192x4096 >/dev/null
    cp "$work/demo/demo-panorama.png" "$input"
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
    measure cube globaro "$globaro" render "$input" "$work/g-cube.png" --quiet \
        --output "Unity 6 frames" --size 12288x2048
    measure cube ffmpeg ffmpeg -hide_banner -loglevel error -y -i "$input" \
        -vf "v360=e:c6x1:out_forder=rludfb:w=12288:h=2048:interp=line" -frames:v 1 "$work/f-cube.png"
    measure cube ffmpeg-lanczos ffmpeg -hide_banner -loglevel error -y -i "$input" \
        -vf "v360=e:c6x1:out_forder=rludfb:w=12288:h=2048:interp=lanczos" -frames:v 1 "$work/f-cube-lanczos.png"

    measure flat globaro "$globaro" render "$input" "$work/g-flat.png" --quiet \
        --output rectilinear --fov 90 --size 2048x2048
    measure flat ffmpeg ffmpeg -hide_banner -loglevel error -y -i "$input" \
        -vf "v360=e:flat:h_fov=90:v_fov=90:w=2048:h=2048" -frames:v 1 "$work/f-flat.png"

    measure rotate globaro "$globaro" render "$input" "$work/g-rotate.png" --quiet \
        --output equirectangular --lon 30 --lat 20 --spin 10 --size 8192x4096
    measure rotate ffmpeg ffmpeg -hide_banner -loglevel error -y -i "$input" \
        -vf "v360=e:e:yaw=30:pitch=20:roll=10" -frames:v 1 "$work/f-rotate.png"

    measure mollweide globaro "$globaro" render "$input" "$work/g-moll.png" --quiet \
        --output Mollweide --size 4096x2048
    measure mollweide gdalwarp gdalwarp -q -overwrite -t_srs '+proj=moll +datum=WGS84' -ts 4096 2048 \
        -r bilinear -wo NUM_THREADS=ALL_CPUS -multi "$world" "$work/w-moll.tif"
done

# Medians per job and tool, then the ratio against globaro.
python3 - "$results" <<'EOF'
import statistics, sys
rows = [line.split() for line in open(sys.argv[1]) if line.strip()]
table = {}
for job, tool, sec, kb in rows:
    table.setdefault(job, {}).setdefault(tool, []).append((float(sec), int(kb)))
print(f"{'job':<10} {'tool':<14} {'runs':>4} {'median s':>9} {'peak MiB':>9} {'peer/globaro':>13}")
for job, tools in table.items():
    mine = tools.get("globaro")
    mine_s = statistics.median(s for s, _ in mine) if mine else None
    for tool, vals in tools.items():
        s = statistics.median(v for v, _ in vals)
        mem = statistics.median(k for _, k in vals) / 1024
        ratio = "" if tool == "globaro" or not mine_s else f"{s / mine_s:.2f}"
        print(f"{job:<10} {tool:<14} {len(vals):>4} {s:>9.2f} {mem:>9.0f} {ratio:>13}")
EOF
echo "(work files in $work)" >&2
