#!/usr/bin/env bash
# Builds the two libFuzzer targets (fuzz preset, clang) and runs each for
# SECONDS (default 60), one after the other:
#   varnook_fuzz_song      the reader and the writer: any image loads, and what
#                          is saved reads back and saves to the same bytes;
#   varnook_fuzz_pipeline  load, one to three presses, save, read again: an
#                          image plus nine bytes of settings (fuzz/pipeline_fuzz.cpp).
# Seeds are the small shared sample files (for the pipeline, each with four
# settings tails). Fails on any finding; the input is then kept in the build
# folder's artifacts/. Needs clang and libclang-rt-14-dev (scripts/install-deps.sh
# installs them).
#   scripts/fuzz.sh [SECONDS [TARGET...]]   VARNOOK_FUZZ_BUILD overrides build/fuzz
set -euo pipefail

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(song pipeline)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VARNOOK_FUZZ_BUILD:-$root/build/fuzz}

cd "$root"
cmake --preset fuzz -B "$build" >/dev/null
for target in "${targets[@]}"; do
  cmake --build "$build" --target "varnook_fuzz_$target" -j2
done

# Settings tails for the pipeline seeds (control, seed x4, time, pitch, the
# tracks of each as a bit mask): every track at 30 ticks and 10 steps pressed
# three times; every other track at 200 ticks; bends alone at 64, twice; the
# song repeated 32 times over at 50 ticks and 5 steps.
tails=('\x04\x01\x00\x00\x00\x1e\x0a\xff\xff' '\x00\x2a\x00\x00\x00\xc8\x00\x55\x00'
  '\x02\x07\x00\x00\x00\x00\x40\x00\xff' '\x30\x09\x00\x00\x00\x32\x05\xff\xff')

samples="$root/../shared/testdata/midi"
[ -d "$samples" ] || echo "fuzz: no sample files in $samples; starting without seeds"
status=0
for target in "${targets[@]}"; do
  seeds="$build/seeds-$target"
  corpus="$build/corpus-$target"
  log="$build/fuzz-$target.log"
  mkdir -p "$seeds" "$corpus" "$build/artifacts"
  if [ -d "$samples" ]; then
    while IFS= read -r -d '' file; do
      name=$(basename "$file")
      if [ "$target" = song ]; then
        cp "$file" "$seeds/$name"
      else
        for i in "${!tails[@]}"; do
          { cat "$file"; printf "${tails[$i]}"; } >"$seeds/$name.$i"
        done
      fi
    done < <(find "$samples" -name '*.mid' -size -4k -print0)
  fi
  echo "fuzzing $target for ${seconds}s (full output in $log)"
  # libFuzzer reports every new input it keeps; the log keeps all of it and the
  # console gets the end, which holds the finding or the final statistics.
  if ! "$build/fuzz/varnook_fuzz_$target" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
    "$corpus" "$seeds" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz: $target: FINDING (input kept in $build/artifacts/)"
    status=1
    continue
  fi
  tail -n 15 "$log"
  echo "fuzz: $target: no finding in ${seconds}s"
done
exit $status
