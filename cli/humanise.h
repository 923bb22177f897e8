// The tool's amounts and presses, in both styles.
//
// parseAmountSetting reads one --time-shift, --pitch-shift or
// --velocity-shift value (TRACK=AMOUNT, TRACK a number from 1 or "all",
// AMOUNT with an optional unit: "ms" for time, "c" for pitch);
// checkAmountSettings then holds all of them against the style once every
// option is read. resolveAmounts turns the settings into one entry per
// track of the loaded song (a later setting for the same track wins), and
// humaniseSong presses: the classic style as the window does (presses
// continue one random sequence, tracks past the 16th after the first 16),
// the musical style once, around the song as loaded. Both log one summary
// line per humanised track.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Song;

enum class Style { kClassic, kMusical };

enum class AmountKind { kTime, kPitch, kVelocity };

struct AmountSetting {
  AmountKind kind = AmountKind::kTime;
  int32_t track = 0;  // 1-based; 0 = every track
  int32_t amount = 0;
  bool unit = false;  // "ms" or "c" given
  std::wstring text;  // as given, for messages
};

// What one track gets; a pitch amount is steps (classic) or cents (musical).
struct TrackAmounts {
  int32_t time = 0;
  bool timeInMs = false;
  int32_t pitch = 0;
  int32_t velocity = 0;
};

bool parseAmountSetting(const std::wstring& name, const std::wstring& value, AmountSetting& setting,
                        std::wstring& error);

// Units and limits by style, and --presses only where presses add up.
bool checkAmountSettings(Style style, const std::vector<AmountSetting>& settings, bool hasPresses,
                         std::wstring& error);

// False (with `error`) when a setting names a track the song does not have.
bool resolveAmounts(const Song& song, const std::vector<AmountSetting>& settings,
                    std::vector<TrackAmounts>& amounts, std::wstring& error);

void humaniseSong(Song& song, Style style, const std::vector<TrackAmounts>& amounts, uint32_t seed,
                  uint32_t presses);
