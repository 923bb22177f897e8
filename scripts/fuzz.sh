#!/usr/bin/env bash
# Builds the libFuzzer target for the reader and the writer (fuzz preset,
# clang) and runs it for SECONDS (default 60), seeded with the small
# shared sample files. Fails on any finding; the crashing input is then kept in
# the build folder's artifacts/. Needs clang and libclang-rt-14-dev
# (scripts/install-deps.sh installs them).
#   scripts/fuzz.sh [SECONDS]      VARNOOK_FUZZ_BUILD overrides build/fuzz
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VARNOOK_FUZZ_BUILD:-$root/build/fuzz}

cd "$root"
cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target varnook_fuzz_song -j2

# Seeds: the small shared sample files, when they are there.
seeds="$build/seeds"
corpus="$build/corpus"
mkdir -p "$seeds" "$corpus" "$build/artifacts"
samples="$root/../shared/testdata/midi"
if [ -d "$samples" ]; then
  find "$samples" -name '*.mid' -size -4k -exec cp {} "$seeds/" \;
else
  echo "fuzz: no sample files in $samples; starting without seeds"
fi

echo "fuzzing parseSong + serializeSong for ${seconds}s (full output in $build/fuzz.log)"
# libFuzzer reports every new input it keeps; the log keeps all of it and the
# console gets the end, which holds the finding or the final statistics.
if ! "$build/fuzz/varnook_fuzz_song" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/" \
  "$corpus" "$seeds" >"$build/fuzz.log" 2>&1; then
  tail -n 60 "$build/fuzz.log"
  echo "fuzz: FINDING (input kept in $build/artifacts/)"
  exit 1
fi
tail -n 15 "$build/fuzz.log"
echo "fuzz: no finding in ${seconds}s"
