#!/usr/bin/env bash
# Runs every test of Varnook from a clean clone: installs what is missing,
# then
#   1. the native build (warnings as errors) and its ctest suite,
#   2. the same tests built with address, undefined-behaviour and leak
#      sanitizers,
#   3. the two fuzz targets (the reader and writer; load, press, save and
#      read again) for a bounded time each (FUZZ_SECONDS, default 30),
#   4. the Windows build (warnings as errors) and its ctest suite under Wine:
#      the core tests, varnook-cli.exe's contract, and the end-to-end tests of
#      the real window in Xvfb,
#   5. the packages users download, made by scripts/package.sh from the builds
#      of stages 1 and 4 and checked by tests/package/check_packages.sh.
# Ends with one line "N passed, N failed, N skipped" over all stages (tests
# that need the shared sample files skip when they are absent); exits non-zero when
# anything failed.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh

passed=0
failed=0
skipped=0
failures=()

# ctest prints "N% tests passed, F tests failed out of T"; add its counts to ours.
count_ctest() {
  local log=$1 stage=$2 line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    failures+=("$stage: no test summary")
    return
  fi
  bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  # ctest counts a skipped test as passed; it lists them under "did not run".
  skip=$(grep -cE '^[[:space:]]+[0-9]+ - .*\(Skipped\)$' "$log" || true)
  passed=$((passed + total - bad - skip))
  failed=$((failed + bad))
  skipped=$((skipped + skip))
  [ "$bad" -eq 0 ] || failures+=("$stage: $bad failed")
}

run_stage() {
  local stage=$1
  shift
  echo
  echo "=== $stage ==="
  if ! "$@"; then
    failures+=("$stage: did not complete")
    return 1
  fi
}

ctest_preset() {
  local preset=$1 log="$root/build/ctest-$1.log"
  mkdir -p "$root/build"
  ctest --preset "$preset" 2>&1 | tee "$log" || true
  count_ctest "$log" "$preset"
}

build_preset() {
  local preset=$1
  shift
  cmake --preset "$preset" -DVARNOOK_WERROR=ON "$@" >/dev/null
  cmake --build --preset "$preset"
}

# 1. Native.
if run_stage "native build" build_preset native; then
  ctest_preset native
else
  failed=$((failed + 1))
fi

# 2. Sanitizers. Leak checking is on by default with address sanitizer.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
if run_stage "sanitizer build" build_preset sanitize; then
  ctest_preset sanitize
else
  failed=$((failed + 1))
fi
unset ASAN_OPTIONS UBSAN_OPTIONS

# 3. Fuzzing.
echo
echo "=== fuzz ==="
if bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
  failures+=("fuzz: finding or failure")
fi

# 4. Windows, under Wine, with a private prefix made once for the whole run.
export WINEPREFIX="$root/build/wineprefix" WINEDEBUG=-all
bash scripts/wine-prefix.sh "$WINEPREFIX"
if run_stage "windows build" build_preset windows; then
  ctest_preset windows
else
  failed=$((failed + 1))
fi

# 5. The packages, from the native and Windows builds above.
echo
echo "=== packages ==="
if bash scripts/package.sh && bash tests/package/check_packages.sh; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
  failures+=("packages: not made or not as they should be")
fi
wineserver -k 2>/dev/null || true

echo
if [ ${#failures[@]} -gt 0 ]; then
  printf 'Failed: %s\n' "${failures[@]}"
fi
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
