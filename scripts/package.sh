#!/usr/bin/env bash
# Makes what a user downloads, in dist/: varnook-VERSION-win64.zip (varnook.exe and
# varnook-cli.exe, to unpack anywhere and run) and varnook-cli's .deb and .tar.gz for Linux.
# Reuses the build folders of the native and windows presets (build/native, build/windows),
# configuring them first when they are not there yet, builds the programs, and runs cpack in
# each. tests/package/check_packages.sh checks the result.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh

shopt -s nullglob  # each build makes some of the three kinds of package
rm -rf dist
mkdir -p dist
for preset in native windows; do
  build=build/$preset
  [[ -f $build/CMakeCache.txt ]] || cmake --preset "$preset" >/dev/null
  targets=(varnook-cli)
  [[ $preset == native ]] || targets+=(varnook)
  cmake --build --preset "$preset" --target "${targets[@]}"
  # cpack's working files stay in the build folder; only the packages go to dist/.
  rm -rf "$build/packages"
  cpack --config "$build/CPackConfig.cmake" -B "$root/$build/packages"
  cp "$build"/packages/*.{zip,deb,tar.gz} dist/
done
ls -l dist
