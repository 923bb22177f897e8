#!/usr/bin/env bash
# check_packages.sh [DIST]: the packages scripts/package.sh made (default dist/), as users get them:
# their files, the Windows programs' DLLs, varnook.exe unpacked alone opening a song under Wine, and
# the .deb installed into and purged from a scratch root (its dependencies, varnook-cli's version,
# the manual page rendering without a warning).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dist=$(realpath "${1:-$root/dist}")
version=$(sed -n 's/^project(Varnook VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "check_packages: $*" >&2; exit 1; }
holds() {  # PACKAGE FILES...: the package's files, directories left out, are these
  diff <(grep -v '/$' | sort) <(printf '%s\n' "${@:2}" | sort) || fail "$1 holds other files"
}

zip=varnook-$version-win64 tgz=varnook-cli-$version-linux-x86_64
deb=varnook-cli_${version}_amd64.deb
linux=(bin/varnook-cli share/man/man1/varnook-cli.1.gz share/doc/varnook/{README.md,LICENSE})
cmake -E tar tf "$dist/$zip.zip" | holds "$zip.zip" \
  "$zip"/{varnook.exe,varnook-cli.exe,README.txt,LICENSE.txt,NOTICES.txt}
cmake -E tar tf "$dist/$tgz.tar.gz" | holds "$tgz.tar.gz" "${linux[@]/#/$tgz/}"
dpkg-deb --fsys-tarfile "$dist/$deb" | tar t | holds "$deb" "${linux[@]/#/./usr/}"
grep -q "^## $version\$" "$root/CHANGELOG.md" || fail "CHANGELOG.md has no entry for $version"

cmake -E tar xf "$dist/$zip.zip"
system='kernel32|user32|gdi32|comdlg32|comctl32|shell32|advapi32|version|msvcrt|ucrtbase|bcrypt|'
system+='ws2_32|ole32|api-ms-win-crt-[a-z0-9-]+'
for exe in "$zip"/*.exe; do
  other=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/.*DLL Name: //p' |
    grep -viE "^($system)\.dll$" || true)
  [[ -z $other ]] || fail "$exe needs DLLs that Windows does not ship: $other"
done
! grep -qv $'\r$' "$zip"/README.txt || fail "README.txt has a line without CR LF"
grep -q winpthreads "$zip"/NOTICES.txt || fail "NOTICES.txt lacks the thread library's notice"
cmake --build "$root/build/windows" --target varnook_window_driver >/dev/null
WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix} bash "$root/tests/windows/run_window_test.sh" \
  wine "$root/build/windows/tests/varnook_window_driver.exe" "$work/$zip/varnook.exe" \
  "$root/tests/package/unpacked.steps" || fail "the unpacked varnook.exe did not open a song"

mkdir -p scratch/var/lib/dpkg/{info,updates} && touch scratch/var/lib/dpkg/status
[[ $(dpkg-deb -f "$dist/$deb" Depends) == *libc6* ]] || fail "$deb does not name its dependencies"
dpkg --root=scratch --force-depends -i "$dist/$deb" >dpkg.log 2>&1 ||  # the host's libraries
  fail "dpkg -i $deb failed: $(cat dpkg.log)"
installed=$(scratch/usr/bin/varnook-cli --version)
[[ $installed == "varnook-cli $(dpkg-deb -f "$dist/$deb" Version)" ]] ||
  fail "varnook-cli --version does not tell the package's version"
page=scratch/usr/share/man/man1/varnook-cli.1.gz
warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[[ -z $warnings ]] || fail "the manual page renders with warnings: $warnings"
dpkg --root=scratch -P varnook-cli >/dev/null || fail "dpkg -P varnook-cli failed"
[[ -z $(find scratch -path scratch/var -prune -o ! -type d -print) ]] || fail "dpkg -P left files"
echo "check_packages: $zip.zip, $tgz.tar.gz and $deb are as they should be"
