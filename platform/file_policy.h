// What both systems' file code decide alike, written once: how large a song
// file may be, how the temporary file beside a target is named and how many
// names are tried, how long a busy file is waited for. Only platform/*.cpp
// include this; the system calls around it differ per system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

// The reader takes an int32 size: a file of 2 GiB or more can't be handed
// over whole and is a read error.
constexpr size_t kLargestReadable = static_cast<size_t>(std::numeric_limits<int32_t>::max());

// Names tried for the temporary file before giving up; each is taken only
// if no file has it, so only a folder full of our own leftovers runs out.
constexpr int kTemporaryNameTries = 100;

// Antivirus programs, the search indexer and folder-sync tools open a file
// that was just written, for a moment and often without sharing it: an
// open or a rename that meets one is tried again for about a second.
constexpr int kBusyTries = 10;
constexpr unsigned kBusyPauseMs = 100;

// A new temporary name: ".vk-" + 8 hex digits + ".tmp", ASCII, to be put in
// the target's folder. Hidden on POSIX by its dot; short, so that a target
// whose path is near a length limit still has room for it.
std::string temporaryFileName();
