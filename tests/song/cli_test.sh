#!/usr/bin/env bash
# varnook-cli's contract: log lines and their order, exit statuses, usage
# errors that write nothing, reproducible transforms with --seed, and saves
# that never harm an existing file.
#   cli_test.sh CLI WORK_DIR
set -euo pipefail

cli=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
cd "$work"

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# run EXPECTED_STATUS ARGS...: runs the tool, keeps stdout in out.txt and
# stderr in err.txt, and checks the exit status.
run() {
  local expected=$1 status=0
  shift
  "$cli" "$@" >out.txt 2>err.txt || status=$?
  [ "$status" -eq "$expected" ] || fail "varnook-cli $* exited $status, expected $expected"
}

expect_stdout() {
  local expected=$1
  [ "$(cat out.txt)" = "$expected" ] || fail "stdout was:
$(cat out.txt)
expected:
$expected"
}

expect_stderr_has() {
  grep -q -- "$1" err.txt || fail "stderr lacks '$1': $(cat err.txt)"
}

# One track, a note and End of Track: the 30-byte example song.
printf 'MThd\0\0\0\6\0\1\0\1\0\140MTrk\0\0\0\10\0\220\74\144\140\377\57\0' >one.mid
# Two tracks with notes, for the transform.
printf 'MThd\0\0\0\6\0\1\0\2\0\140' >two.mid
for _ in 1 2; do
  printf 'MTrk\0\0\0\24\0\220\74\144\140\200\74\0\0\220\76\144\140\200\76\0\0\377\57\0' >>two.mid
done

# A plain load and save: the window's lines in its order; the bytes come back.
run 0 one.mid -o copy.mid
expect_stdout "one.mid
Read 30 bytes
PPQN=96
Loaded 1 tracks
File saved
Saved 30 bytes"
cmp -s one.mid copy.mid || fail "one.mid did not come back byte for byte"
[ -z "$(ls ./*.tmp-* 2>/dev/null)" ] || fail "a temporary file was left behind"

# Load only: no save lines.
run 0 one.mid
[ "$(wc -l <out.txt)" -eq 4 ] || fail "load without -o logged $(wc -l <out.txt) lines"

# A non-ASCII path in and out.
cp one.mid "sång ♪.mid"
run 0 "sång ♪.mid" -o "ut ♫.mid"
head -n 1 out.txt | grep -qx "sång ♪.mid" || fail "non-ASCII path not logged as given: $(head -n 1 out.txt)"
cmp -s one.mid "ut ♫.mid" || fail "non-ASCII output path not written"

# Usage errors: status 2, a message and the usage on stderr, nothing written.
for args in "" "--bogus one.mid" "one.mid two.mid" "one.mid -o" \
  "one.mid --time-shift 1=201 -o bad.mid" "one.mid --pitch-shift 1=65 -o bad.mid" \
  "one.mid --time-shift 1 -o bad.mid" "one.mid --time-shift 0=5 -o bad.mid" \
  "one.mid --pitch-shift x=5 -o bad.mid" "one.mid --time-shift 1=-3 -o bad.mid" \
  "one.mid --presses many -o bad.mid" "one.mid --seed 4294967296 -o bad.mid"; do
  # shellcheck disable=SC2086
  run 2 $args
  expect_stderr_has "usage: varnook-cli"
  [ ! -s out.txt ] || fail "usage error '$args' wrote to stdout"
done
[ ! -e bad.mid ] || fail "a usage error wrote an output file"
run 2 one.mid --pitch-shift 1=65
expect_stderr_has "amount must be a whole number from 0 to 64"

# An amount for a track the file does not have: status 2, nothing written.
run 2 one.mid --time-shift 2=10 -o bad.mid
expect_stderr_has "the file has 1 track"
[ ! -e bad.mid ] || fail "an amount for a missing track still wrote the output"

# Help.
run 0 --help
grep -q "usage: varnook-cli" out.txt || fail "--help shows no usage"

# Input that can't be read: status 1 with the log line that says so.
run 1 missing.mid -o bad.mid
expect_stdout "missing.mid
File open error!"
[ ! -e bad.mid ] || fail "a failed load wrote an output file"

# Transform: the lines come between the reader's and the save's; a fixed
# seed gives the same file twice; presses accumulate.
run 0 two.mid --time-shift all=20 --pitch-shift 2=10 --seed 42 -o t1.mid
expect_stdout "two.mid
Read 70 bytes
PPQN=96
Loaded 2 tracks
Track 1 Time shift transformed
Track 2 Time shift transformed
Track 2 Pitch shift transformed
File saved
Saved $(stat -c %s t1.mid) bytes"
run 0 two.mid --time-shift all=20 --pitch-shift 2=10 --seed 42 -o t2.mid
cmp -s t1.mid t2.mid || fail "the same seed gave different files"
run 0 two.mid --pitch-shift 1=10 --seed 42 --presses 3 -o t3.mid
[ "$(grep -c 'Track 1 Pitch shift transformed' out.txt)" -eq 3 ] || fail "--presses 3 did not press three times"
run 0 two.mid --presses 0 --time-shift 1=5 -o t4.mid
cmp -s two.mid t4.mid || fail "--presses 0 changed the song"

# Saves that fail never harm what is there.
echo "precious" >keep.mid
run 1 one.mid -o no-such-dir/out.mid
expect_stdout "one.mid
Read 30 bytes
PPQN=96
Loaded 1 tracks
File create error!
Saved 0 bytes"
mkdir -p taken.mid/inside
run 1 one.mid -o taken.mid
grep -qx "File create error!" out.txt || fail "saving over a folder did not report a create error"
grep -qx "Saved 0 bytes" out.txt || fail "saving over a folder did not report 0 bytes saved"
[ -d taken.mid/inside ] || fail "saving over a folder harmed it"
# A write that fails (file size limit 0: root ignores permissions, but not
# this): the existing file keeps its bytes. The log goes through a pipe,
# which the limit does not touch.
echo "precious" >keep.mid
status=0
(
  trap '' XFSZ
  ulimit -f 0
  exec "$cli" one.mid -o keep.mid 2>/dev/null
) | cat >out.txt || status=$?
[ "$status" -eq 1 ] || fail "a failed write exited $status, expected 1"
grep -qx "File save error!" out.txt || fail "a failed write did not say 'File save error!'"
[ "$(cat keep.mid)" = "precious" ] || fail "a failed save harmed the existing file"
[ -z "$(ls ./*.tmp-* 2>/dev/null)" ] || fail "a failed save left a temporary file"

# A successful save over an existing file replaces it.
run 0 one.mid -o keep.mid
cmp -s one.mid keep.mid || fail "saving over an existing file did not replace it"

if [ "$failures" -gt 0 ]; then
  echo "$failures CLI check(s) failed"
  exit 1
fi
echo "all CLI checks passed"
