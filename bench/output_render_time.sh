#!/usr/bin/env bash
# Render time of chosen outputs against the stereographic output of the same
# size: renders the demo panorama into each output (at "best", the quality of
# every final render) and prints, per output, the median time of the filter
# over RUNS runs, its ratio to the stereographic output's median and "over 3x"
# where the ratio exceeds 3.
#
# The time is the filter's own ("filter" of `globaro render --timings`):
# building the input pyramid, mapping, shading and compositing every tile;
# reading the input and writing the PNG are left out, as they cost the same
# for every output of one size.
#
# Usage: bench/output_render_time.sh [options]
#   --ids LIST        comma-separated output ids or names (names with spaces quoted)
#   --conformal       every drawn output the catalogue flags conformal
#                     (the default when --ids is not given; with --ids, both)
#   --size WxH        output size (default 2048x2048)
#   --input-size WxH  size of the demo panorama (default 4096x2048)
#   --runs N          runs per output (default 3)
#   --globaro PATH    the program (default build/bin/globaro of this repository)
#   --workdir DIR     scratch folder (default a new folder under /tmp, removed at the end)
#   --models          instead: the build time of the biggest generated model of
#                     every polyhedral family (runs build/bin/globaro_bench)
#
# Not part of CI; every render runs niced. The outputs take turns run by run
# (as the machine's speed drifts); still, compare ratios within one run of the
# script.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
globaro=$repo/build/bin/globaro
size=2048x2048
input_size=4096x2048
runs=3
ids=""
conformal=0
models=0
work=""

die() {
    echo "output_render_time: $*" >&2
    exit 2
}

while (($#)); do
    case $1 in
        --ids) (($# >= 2)) || die "--ids needs a list"; ids=$2; shift 2 ;;
        --conformal) conformal=1; shift ;;
        --size) (($# >= 2)) || die "--size needs WxH"; size=$2; shift 2 ;;
        --input-size) (($# >= 2)) || die "--input-size needs WxH"; input_size=$2; shift 2 ;;
        --runs) (($# >= 2)) || die "--runs needs a number"; runs=$2; shift 2 ;;
        --globaro) (($# >= 2)) || die "--globaro needs a path"; globaro=$2; shift 2 ;;
        --workdir) (($# >= 2)) || die "--workdir needs a folder"; work=$2; shift 2 ;;
        --models) models=1; shift ;;
        -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        *) die "unknown argument '$1' (see --help)" ;;
    esac
done

[[ $size =~ ^[1-9][0-9]*x[1-9][0-9]*$ ]] || die "--size '$size' is not WIDTHxHEIGHT"
[[ $input_size =~ ^[1-9][0-9]*x[1-9][0-9]*$ ]] || die "--input-size '$input_size' is not WIDTHxHEIGHT"
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "--runs '$runs' is not a positive whole number"

if ((models)); then
    bench=$(dirname "$globaro")/globaro_bench
    [[ -x $bench ]] || die "no benchmark program at $bench (scripts/build --release globaro_bench)"
    exec nice "$bench" --benchmark_filter='BM_ModelBuild/' --benchmark_repetitions="$runs" \
        --benchmark_report_aggregates_only=true
fi

[[ -x $globaro ]] || die "no globaro program at $globaro (build it, or pass --globaro)"

if [[ -z $work ]]; then
    work=$(mktemp -d /tmp/globaro-output-time.XXXXXX)
    trap 'rm -rf "$work"' EXIT
    trap 'exit 130' INT TERM
fi
mkdir -p "$work"

# The outputs: id<TAB>name lines, stereographic first, no id twice.
reference=$("$globaro" list outputs --where drawn | awk -F'\t' '$2 == "stereographic"')
[[ -n $reference ]] || die "the catalogue has no drawn stereographic output"
chosen=$work/chosen.txt
{
    echo "$reference"
    if ((conformal)) || [[ -z $ids ]]; then
        "$globaro" list outputs --where drawn --where conformal
    fi
    if [[ -n $ids ]]; then
        IFS=, read -r -a wanted <<<"$ids"
        for want in "${wanted[@]}"; do
            want=$(echo "$want" | sed 's/^ *//; s/ *$//')
            [[ -n $want ]] || continue
            # describe resolves an id or a name the way render does.
            if ! described=$("$globaro" describe output "$want" 2>"$work/err.txt"); then
                die "--ids: $(cat "$work/err.txt")"
            fi
            id=$(jq -r .id <<<"$described")
            [[ $(jq -r .drawn <<<"$described") == true ]] || die "--ids: output $id '$want' is not drawn yet"
            printf '%s\t%s\n' "$id" "$(jq -r .name <<<"$described")"
        done
    fi
} | awk -F'\t' '!seen[$1]++' >"$chosen"

input=$work/panorama.png
"$globaro" demo "$work/demo" --size "$input_size" >/dev/null 2>&1 || die "cannot make the demo panorama"
cp "$work/demo/demo-panorama.png" "$input"

# median VALUES...: the middle value (the mean of the two middle ones).
median() {
    printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}

# filter_seconds ID: one render; prints the filter's seconds, or fails.
filter_seconds() {
    local log=$work/log.txt
    if ! nice "$globaro" render "$input" "$work/out.png" --output "$1" --size "$size" --quiet --timings </dev/null \
        >"$log" 2>&1; then
        return 1
    fi
    sed -n 's/.*filter \([0-9.]*\) s.*/\1/p' "$log" | head -1
}

mapfile -t rows <"$chosen"
count=${#rows[@]}
echo "# $count outputs at $size from a $input_size panorama, median of $runs runs (filter seconds)"
# Run by run over all outputs, so that every output's runs spread over the
# same stretch of time and a machine whose speed drifts treats them alike.
declare -a times failure
for ((run = 1; run <= runs; ++run)); do
    for ((i = 0; i < count; ++i)); do
        [[ -z ${failure[i]:-} ]] || continue
        echo "  run $run of $runs: ${rows[i]//$'\t'/ }" >&2
        if t=$(filter_seconds "${rows[i]%%$'\t'*}") && [[ -n $t ]]; then
            times[i]="${times[i]:-} $t"
        else
            failure[i]=$(tail -1 "$work/log.txt")
            ((i > 0)) || die "the stereographic output failed to render: ${failure[0]}"
        fi
    done
done

printf '%-7s %-28s %9s %7s\n' id name seconds ratio
ref_seconds=""
for ((i = 0; i < count; ++i)); do
    id=${rows[i]%%$'\t'*}
    name=${rows[i]#*$'\t'}
    if [[ -n ${failure[i]:-} ]]; then
        printf '%-7s %-28s %9s %7s  failed: %s\n' "$id" "$name" - - "${failure[i]}"
        continue
    fi
    # shellcheck disable=SC2086
    seconds=$(median ${times[i]})
    [[ -n $ref_seconds ]] || ref_seconds=$seconds
    ratio=$(awk -v s="$seconds" -v r="$ref_seconds" 'BEGIN {printf "%.2f", (r > 0) ? s / r : 0}')
    note=$(awk -v q="$ratio" 'BEGIN {if (q > 3) print "over 3x"}')
    printf '%-7s %-28s %9.2f %7s  %s\n' "$id" "$name" "$seconds" "$ratio" "$note"
done
