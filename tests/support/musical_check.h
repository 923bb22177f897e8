// What a musical press promises, checked from the outside.
//
// musicalPressProblem loads `image` into currentSong, presses it with
// `amounts` (entry i for track i; missing entries are off) and `seed`, and
// compares the song after the press with the song before it: every event
// kept (only bends added), note lengths kept or cut at the next start of the
// key, starts in order with chords together and, for an amount in ticks, within
// it, the jitter unbiased and bell-shaped, the events in front of a note with it and
// the rest on their ticks, bends one per channel and start tick and back to
// the file's at every rest and at the end, velocities within the amount;
// then loads and presses again and expects the same bytes. It returns "" or
// a description of the first broken promise. No test framework inside: the
// unit tests and a fuzz target call it alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "transform/musical_amounts.h"

std::string musicalPressProblem(const uint8_t* image, size_t size,
                                const std::vector<MusicalAmounts>& amounts, uint32_t seed);
