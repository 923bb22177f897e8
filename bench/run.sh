#!/usr/bin/env bash
# Times varnook-cli on a large generated song beside cp of the same file, at
# 1x, 2x and 4x the size: load, load + save, and the humanising presses. Prints
# one Markdown table per size (median wall and CPU time of RUNS runs, the
# largest peak memory, and each case against cp and against load + save).
# Needs /usr/bin/python3 and midicsv (to count the events).
#   bench/run.sh    RUNS (default 7), VARNOOK_BENCH_BUILD (default build/native),
#                   VARNOOK_BENCH_CLI (a varnook-cli to time instead of the build's),
#                   SCALES (default "1 2 4"), VARNOOK_BENCH_REFERENCE (another
#                   varnook-cli: every output must be byte-identical to its own)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VARNOOK_BENCH_BUILD:-$root/build/native}
runs=${RUNS:-7}
reference=${VARNOOK_BENCH_REFERENCE:-}
work="$build/bench-work"

cd "$root"
if [ ! -f "$build/CMakeCache.txt" ]; then cmake --preset native -B "$build" >/dev/null; fi
cli=${VARNOOK_BENCH_CLI:-$build/varnook-cli}
[ -n "${VARNOOK_BENCH_CLI:-}" ] || cmake --build "$build" --target varnook-cli -j2 >/dev/null
mkdir -p "$work"

events() { midicsv "$1" | grep -vc -e ', Header,' -e ', Start_track' -e 'End_of_file'; }

# row NAME COMMAND...: one table row; the figures of "cp" and "load + save"
# are kept to compare the others with.
row() {
  local name=$1 wall cpu peak
  shift
  read -r wall cpu peak < <(/usr/bin/python3 bench/measure.py "$runs" "$@")
  print_row "$name" "$wall" "$cpu" "$peak"
}

# rows NAME... -- COMMAND... [--- COMMAND...]...: a row for each command, their
# runs taken in turn (see measure.py).
rows() {
  local names=() wall cpu peak k=0
  while [ "$1" != -- ]; do names+=("$1"); shift; done
  shift
  while read -r wall cpu peak; do
    print_row "${names[$k]}" "$wall" "$cpu" "$peak"
    k=$((k + 1))
  done < <(/usr/bin/python3 bench/measure.py "$runs" "$@")
}

print_row() {
  local name=$1 wall=$2 cpu=$3 peak=$4
  [ "$name" = cp ] && cp_wall=$wall
  [ "$name" = "load + save" ] && save_wall=$wall
  printf '| %s | %s | %s | %s | %s | %s |\n' "$name" "$wall" "$cpu" "$peak" \
    "$(awk -v a="$wall" -v b="$cp_wall" 'BEGIN { printf "%.1f", a / b }')" \
    "$(awk -v a="$wall" -v b="${save_wall:-0}" 'BEGIN { print (b > 0 ? sprintf("%.2f", a / b) : "-") }')"
}

# same OUTPUT ARGS...: the reference tool, given the same arguments, writes the same bytes.
same() {
  local out=$1
  shift
  [ -n "$reference" ] || return 0
  "$reference" "$@" -o "$work/reference.mid" >/dev/null 2>&1
  cmp -s "$out" "$work/reference.mid" || echo "WARNING: differs from the reference: $*"
}

echo "$(nproc) cores; $runs runs each; medians (ms), largest peak (MB)"
for scale in ${SCALES:-1 2 4}; do
  file="$work/big-$scale.mid"
  [ -f "$file" ] || /usr/bin/python3 bench/gen_big_midi.py "$file" "$scale"
  echo
  echo "${scale}x: $(events "$file") events, $(stat -c %s "$file") bytes"
  echo
  echo "| case | wall ms | CPU ms | peak MB | wall / cp | wall / load + save |"
  echo "|---|---|---|---|---|---|"
  save_wall=
  row cp cp "$file" "$work/copy.mid"
  row "load" "$cli" "$file"
  row "load + save" "$cli" "$file" -o "$work/out.mid"
  cmp -s "$file" "$work/out.mid" || echo "WARNING: the saved file differs from the input"
  for presses in 1 10; do
    for kind in "time-shift all=20" "pitch-shift all=10"; do
      # shellcheck disable=SC2086 # the option and its value are two words
      row "${kind%% *} ${kind#* }, $presses press(es)" "$cli" "$file" --${kind% *} ${kind#* } \
        --presses "$presses" --seed 1 -o "$work/out.mid"
      # shellcheck disable=SC2086
      same "$work/out.mid" "$file" --${kind% *} ${kind#* } --presses "$presses" --seed 1
    done
  done
  # The two styles side by side, their runs taken in turn: one press of time
  # and pitch shift on every track, then the musical style with
  # milliseconds, cents and velocities.
  rows "classic time all=20, pitch all=10" "musical time all=20, pitch all=10c" \
    "musical all=15ms, all=10c, velocity all=8" -- \
    "$cli" "$file" --time-shift all=20 --pitch-shift all=10 --seed 1 -o "$work/out.mid" --- \
    "$cli" "$file" --style musical --time-shift all=20 --pitch-shift all=10c --seed 1 \
    -o "$work/out.mid" --- \
    "$cli" "$file" --style musical --time-shift all=15ms --pitch-shift all=10c --velocity-shift all=8 \
    --seed 1 -o "$work/out.mid"
done

