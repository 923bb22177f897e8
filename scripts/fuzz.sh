#!/usr/bin/env bash
# Builds the two libFuzzer targets (fuzz preset, clang) and runs each for
# SECONDS (default 60), one after the other:
#   varnook_fuzz_song      the reader and the writer: any image loads, and what
#                          is saved reads back and saves to the same bytes;
#   varnook_fuzz_pipeline  load, a press in either style, save, read again: an
#                          image plus eleven bytes of settings (fuzz/fuzz_target.cpp).
# Seeds are the small shared sample files (for the pipeline, each with seven
# settings tails). Fails on any finding; the input is then kept in the build
# folder's artifacts/. Needs clang and libclang-rt-14-dev (scripts/install-deps.sh
# installs them).
#   scripts/fuzz.sh [SECONDS [TARGET...]]   VARNOOK_FUZZ_BUILD overrides build/fuzz
#
# Long runs (2 shared cores, the machine busy with other builds), both targets
# at once: first about 9 minutes each, then 21 minutes each in fork mode
# (-fork=1 -ignore_crashes=1, so that a finding does not end the run).
#   song:     1,264,374 + 1,663,215 executions; cov 577, ft 2,530 over the
#             kept corpus (fork-mode totals at the end: cov 3,480, ft 4,940).
#   pipeline: 9,363 + 17,043 executions (6 to 60 a second: a musical check,
#             and one input in four made 32 times longer, a mode since
#             dropped); cov 2,355, ft 12,919 over the kept corpus (fork-mode:
#             cov 16,063, ft 23,503).
# Found and mended (with a unit-test row where a worked example shows it):
#   - time shift: an event the delta-time limit holds early took a negative
#     jitter on top, landing up to 2A ticks early (a delta of 0x0FFFFFFF);
#   - reader: a track count of 77 written into a header whose division reads
#     "Tr", with a "k" after it, spelled a track tag, so the saved file read
#     back otherwise;
#   - musical press: tables by key made per track (a song of 100 short
#     tracks took 0.09 s for 715 events), and a delta time near the largest
#     clamped when notes moved around it, pulling every later event early;
#   - musical check: a key byte of 0x80 or more was counted as a key of the
#     next channel.
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

# Settings tails for the pipeline seeds (pipelineProblem in tests/support: control,
# seed x4, time, pitch, velocity, the tracks of each as a bit mask). Classic:
# every track at 30 ticks and 10 steps pressed three times; every other track
# at 200 ticks and velocities 20; bends alone at 64, twice; every track at
# 50 ticks, 5 steps and velocities 10. Musical: 20 ticks, 10 cents,
# velocities 8; 15 ms and 50 cents on some tracks; everything at its largest.
tails=('\x04\x01\x00\x00\x00\x1e\x0a\x00\xff\xff\x00'
  '\x00\x2a\x00\x00\x00\xc8\x00\x14\x55\x00\xff'
  '\x02\x07\x00\x00\x00\x00\x40\x00\x00\xff\x00'
  '\x30\x09\x00\x00\x00\x32\x05\x0a\xff\xff\xff'
  '\x01\x03\x00\x00\x00\x14\x0a\x08\xff\xff\xff'
  '\x09\x05\x00\x00\x00\x0f\x32\x00\xff\x0f\x00'
  '\x31\x0b\x00\x00\x00\xc8\x64\x40\xff\xff\xff')

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
