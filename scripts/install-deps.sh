#!/usr/bin/env bash
# Installs, with apt-get, what building and testing Varnook needs on a fresh
# Debian 12 machine, and nothing when it is all there already:
#   cmake, g++, make            the native build of the core, the CLI and the tests
#   libgtest-dev                Google Test for the native test binaries
#   clang, libclang-rt-14-dev   libFuzzer and the sanitizer runtimes for the fuzz target
#   g++-mingw-w64-x86-64-posix  the Windows cross compiler
#   mingw-w64-tools             windres, the resource compiler
#   wine64                      runs the Windows program and tests
#   xvfb, xauth                 a virtual display for the window under test
#   imagemagick                 photographing the window (screenshots)
#   icoutils                    wrestool/icotool, to check the program's resources
#   python3                     the command-line tool's test and the resource check
#   midicsv, time               event counts and peak-memory figures for the benchmark
#   dpkg-dev, file              the .deb (scripts/package.sh): dpkg-shlibdeps finds the packages
#                               varnook-cli needs, file tells cpack which files are executables
#   man-db, groff-base          man and groff, to check that the manual page renders
set -euo pipefail

packages=(cmake g++ make libgtest-dev clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 xvfb xauth imagemagick icoutils
  python3 midicsv time dpkg-dev file man-db groff-base)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
echo "install-deps: done"
