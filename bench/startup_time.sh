#!/usr/bin/env bash
# Start-up: the time of a small job (a 1024 x 512 panorama, JPEG and PNG, to
# a 512 x 512 view) and of the commands that touch no image, as whole
# processes timed by /usr/bin/time, alternating between two builds (A B A B)
# so that a loaded machine slows both alike. Prints the median wall and
# processor (user + system) seconds of each and the ratios new / old; on a
# loaded machine the processor seconds say more than the wall.
#
# Usage: bench/startup_time.sh [--runs N] OLD_GLOBARO NEW_GLOBARO
set -euo pipefail
runs=9
if [ "${1:-}" = "--runs" ]; then
  runs=$2
  shift 2
fi
[ $# -eq 2 ] || { echo "usage: $0 [--runs N] OLD_GLOBARO NEW_GLOBARO" >&2; exit 2; }
old=$1 new=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$new" demo "$work/demo" --size 1024x512 >/dev/null
cp "$work/demo/demo-panorama.png" "$work/pano.png"
"$new" render --quiet "$work/pano.png" "$work/pano.jpg" --output equirectangular --size 1024x512

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
# One run: its wall and processor seconds on one line.
timed() {
  /usr/bin/time -f '%e %U %S' -o "$work/t" "$@" >/dev/null 2>&1 || true
  awk '{printf "%s %.2f\n", $1, $2 + $3}' "$work/t"
}

jobs=(
  "render jpg|render --quiet $work/pano.jpg $work/out.jpg --output rectilinear --size 512x512"
  "render png|render --quiet $work/pano.png $work/out.png --output rectilinear --size 512x512"
  "--version|--version"
  "list|list outputs"
  "describe|describe output Mollweide"
)
printf '%-12s %9s %9s %8s %9s %9s %8s\n' job old_wall new_wall ratio old_cpu new_cpu ratio
for job in "${jobs[@]}"; do
  name=${job%%|*}
  read -r -a args <<<"${job#*|}"
  : >"$work/a" && : >"$work/b"
  for _ in $(seq "$runs"); do
    timed "$old" "${args[@]}" >>"$work/a"
    timed "$new" "${args[@]}" >>"$work/b"
  done
  aw=$(cut -d' ' -f1 "$work/a" | median) bw=$(cut -d' ' -f1 "$work/b" | median)
  ac=$(cut -d' ' -f2 "$work/a" | median) bc=$(cut -d' ' -f2 "$work/b" | median)
  printf '%-12s %9s %9s %8.2f %9s %9s %8.2f\n' "$name" "$aw" "$bw" "$(echo "$bw / $aw" | bc -l)" "$ac" "$bc" \
    "$(echo "$bc / ($ac + 0.001)" | bc -l)"
done
