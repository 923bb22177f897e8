#!/usr/bin/env bash
# Times varnook-cli on a large generated song against cp of the same file,
# then the humanising cases at 1x, 2x and 4x the size. Prints one Markdown
# table (median wall time of RUNS runs, CPU time, events per second, peak
# memory). Needs /usr/bin/time (apt package "time") and /usr/bin/python3.
#   bench/run.sh              RUNS (default 7) and VARNOOK_BENCH_BUILD
#                             (default build/native) from the environment
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VARNOOK_BENCH_BUILD:-$root/build/native}
runs=${RUNS:-7}
work="$build/bench-work"

cd "$root"
if [ ! -f "$build/CMakeCache.txt" ]; then cmake --preset native -B "$build" >/dev/null; fi
cmake --build "$build" --target varnook-cli -j2 >/dev/null
cli="$build/varnook-cli"
mkdir -p "$work"

for scale in 1 2 4; do
  [ -f "$work/big-$scale.mid" ] || /usr/bin/python3 bench/gen_big_midi.py "$work/big-$scale.mid" "$scale"
done
events() { midicsv "$1" | grep -vc -e ', Header,' -e ', Start_track' -e 'End_of_file'; }

# measure NAME EVENTS COMMAND...: RUNS runs; median wall ms, median CPU ms
# (user + system), the largest peak resident set, events per second.
measure() {
  local name=$1 count=$2
  shift 2
  local walls=() cpus=() peak=0 line
  for _ in $(seq "$runs"); do
    /usr/bin/time -o "$work/time.txt" -f '%e %U %S %M' "$@" >/dev/null 2>&1
    line=$(tail -n 1 "$work/time.txt")
    read -r wall user sys rss <<<"$line"
    walls+=("$(awk -v w="$wall" 'BEGIN { printf "%d", w * 1000 }')")
    cpus+=("$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%d", (u + s) * 1000 }')")
    [ "$rss" -gt "$peak" ] && peak=$rss
  done
  local wall cpu rate
  wall=$(printf '%s\n' "${walls[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
  cpu=$(printf '%s\n' "${cpus[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
  rate="-"
  if [ "$count" -gt 0 ] && [ "$wall" -gt 0 ]; then
    rate=$((count * 1000 / wall))
  fi
  printf '| %s | %d | %d | %s | %d |\n' "$name" "$wall" "$cpu" "$rate" "$((peak / 1024))"
}

size1=$(stat -c %s "$work/big-1.mid")
count1=$(events "$work/big-1.mid")
echo "File: $count1 events in 16 tracks, $size1 bytes; $runs runs each; $(nproc) cores"
echo
echo "| case | wall ms (median) | CPU ms (median) | events/s (wall) | peak MB |"
echo "|---|---|---|---|---|"
measure "cp" 0 cp "$work/big-1.mid" "$work/copy.mid"
measure "load only" "$count1" "$cli" "$work/big-1.mid"
measure "load + save" "$count1" "$cli" "$work/big-1.mid" -o "$work/out.mid"
cmp -s "$work/big-1.mid" "$work/out.mid" || echo "WARNING: the saved file differs from the input"
for scale in 1 2 4; do
  file="$work/big-$scale.mid"
  count=$(events "$file")
  for presses in 1 10; do
    measure "${scale}x time shift all=20, $presses press(es)" "$count" \
      "$cli" "$file" --time-shift all=20 --presses "$presses" --seed 1 -o "$work/out.mid"
    measure "${scale}x pitch shift all=10, $presses press(es)" "$count" \
      "$cli" "$file" --pitch-shift all=10 --presses "$presses" --seed 1 -o "$work/out.mid"
  done
done

# The two styles side by side: one press of time and pitch shift on every
# track, then the musical style with milliseconds, cents and velocities.
echo
echo "| case | wall ms (median) | CPU ms (median) | events/s (wall) | peak MB |"
echo "|---|---|---|---|---|"
for scale in 1 2 4; do
  file="$work/big-$scale.mid"
  count=$(events "$file")
  measure "${scale}x classic time all=20, pitch all=10" "$count" \
    "$cli" "$file" --time-shift all=20 --pitch-shift all=10 --seed 1 -o "$work/out.mid"
  measure "${scale}x musical time all=20, pitch all=10c" "$count" \
    "$cli" "$file" --style musical --time-shift all=20 --pitch-shift all=10c --seed 1 -o "$work/out.mid"
  measure "${scale}x musical time all=15ms, pitch all=10c, velocity all=8" "$count" \
    "$cli" "$file" --style musical --time-shift all=15ms --pitch-shift all=10c --velocity-shift all=8 \
    --seed 1 -o "$work/out.mid"
done
