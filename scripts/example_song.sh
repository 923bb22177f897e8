#!/usr/bin/env bash
# example_song.sh N: a small song of our own on standard output, N tracks (at most 255) of four
# notes, track N on channel N (counted round 16), 14 + 44 N bytes: the example the run script
# humanises, the screenshots' song, and the window tests' songs.
set -euo pipefail
printf "MThd\0\0\0\6\0\1\0\x$(printf %02x "$1")\0\x60"
for ((i = 0; i < $1; i++)); do
  c=$(printf %x $((i % 16)))
  note="\x60\x9$c\x3c\x64\x30\x8$c\x3c\0"  # after a quarter's rest, middle C for an eighth
  printf "MTrk\0\0\0\x24$note$note$note$note\0\xff\x2f\0"
done
