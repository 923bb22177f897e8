// Helpers shared by the core tests: hex fixtures, the sample-file folder and
// loading a song from bytes with the log captured.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Bytes from readable hex: pairs of hex digits separated by blanks; "//" or
// "#" starts a comment that runs to the end of the line, so a fixture can
// carry a comment per event.
std::vector<uint8_t> hexBytes(const std::string& text);

// The folder of shared sample MIDI files, or an empty path when it is absent
// (tests then GTEST_SKIP with a message naming where they looked).
std::filesystem::path testDataDir();

// Every *.mid in testDataDir(), sorted by name; empty when the folder is absent.
std::vector<std::filesystem::path> sampleMidiFiles();

std::vector<uint8_t> readFileBytes(const std::filesystem::path& path);

// Replaces currentSong with a fresh Song parsed from `bytes`, clearing the
// text log first; returns currentSong.
struct Song;
Song* loadSongFromBytes(const std::vector<uint8_t>& bytes);

// serializeSong on currentSong, as a vector.
std::vector<uint8_t> saveSongToBytes();

// The captured log as UTF-8 lines (split on CR LF).
std::vector<std::string> logLines();
