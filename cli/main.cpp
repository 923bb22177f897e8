// varnook-cli INPUT.mid [-o OUTPUT.mid] [--time-shift TRACK=AMOUNT]...
//             [--pitch-shift TRACK=AMOUNT]... [--presses N] [--seed S]
//
// Loads a Standard MIDI File the way the window's Load command does, sets
// per-track amounts, presses Transform, and saves the way Save does. Every
// log line goes to standard output in UTF-8; usage errors go to standard
// error. Exit status: 0 done, 1 the input could not be read or the output
// not written, 2 a usage error (nothing is written then).
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/file_io.h"
#include "cli/text_log.h"
#include "song/log.h"
#include "song/reader.h"
#include "song/song.h"
#include "song/writer.h"
#include "transform/transform.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFileError = 1;
constexpr int kExitUsage = 2;
constexpr int kMaxTimeShift = 200;
constexpr int kMaxPitchShift = 64;
constexpr uint32_t kMaxPresses = 1000000;

const char kUsage[] =
    "usage: varnook-cli INPUT.mid [-o OUTPUT.mid] [--time-shift TRACK=AMOUNT]...\n"
    "                   [--pitch-shift TRACK=AMOUNT]... [--presses N] [--seed S]\n"
    "  TRACK    a track number counted from 1, or all\n"
    "  AMOUNT   time shift 0-200 ticks, pitch shift 0-64 (0 = off)\n"
    "  --presses N  press Transform N times (default 1 when an amount is given)\n"
    "  --seed S     seed every press with S (0-4294967295) for a reproducible result\n";

// One --time-shift or --pitch-shift setting; track 0 means all tracks.
struct AmountSetting {
  bool pitch = false;
  int track = 0;
  int amount = 0;
  std::wstring text;  // as given, for messages
};

struct Options {
  NativeString input;
  NativeString output;
  bool hasInput = false;
  bool hasOutput = false;
  std::vector<AmountSetting> amounts;
  bool hasPresses = false;
  uint32_t presses = 0;
  bool hasSeed = false;
  uint32_t seed = 0;
};

// A decimal number of at most `limit`, digits only.
bool parseNumber(const std::wstring& text, uint64_t limit, uint64_t& value) {
  if (text.empty() || text.size() > 10) return false;
  value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    value = value * 10 + static_cast<uint64_t>(c - L'0');
  }
  return value <= limit;
}

int usageError(const std::string& message) {
  printError("varnook-cli: " + message + "\n" + kUsage);
  return kExitUsage;
}

// TRACK=AMOUNT, TRACK a number from 1 or "all".
bool parseAmount(const std::wstring& text, bool pitch, AmountSetting& setting, std::string& error) {
  const int limit = pitch ? kMaxPitchShift : kMaxTimeShift;
  const std::string name = pitch ? "--pitch-shift" : "--time-shift";
  size_t equals = text.find(L'=');
  if (equals == std::wstring::npos) {
    error = name + " wants TRACK=AMOUNT, got '" + toUtf8(text) + "'";
    return false;
  }
  std::wstring track = text.substr(0, equals);
  std::wstring amount = text.substr(equals + 1);
  uint64_t number = 0;
  setting.pitch = pitch;
  setting.text = text;
  if (track == L"all") {
    setting.track = 0;
  } else if (parseNumber(track, 1000000, number) && number >= 1) {
    setting.track = static_cast<int>(number);
  } else {
    error = name + ": track must be a number from 1 or 'all', got '" + toUtf8(track) + "'";
    return false;
  }
  if (!parseNumber(amount, static_cast<uint64_t>(limit), number)) {
    error = name + ": amount must be a whole number from 0 to " + std::to_string(limit) + ", got '" +
            toUtf8(amount) + "'";
    return false;
  }
  setting.amount = static_cast<int>(number);
  return true;
}

// Fills `options` from the arguments after the program name; on a usage
// error returns false with `error` set.
bool parseOptions(const std::vector<NativeString>& args, Options& options, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring arg = toWide(args[i]);
    const bool hasValue = i + 1 < args.size();
    if (arg == L"-o" || arg == L"--output" || arg == L"--time-shift" || arg == L"--pitch-shift" ||
        arg == L"--presses" || arg == L"--seed") {
      if (!hasValue) {
        error = toUtf8(arg) + " needs a value";
        return false;
      }
      ++i;
      const std::wstring value = toWide(args[i]);
      uint64_t number = 0;
      if (arg == L"-o" || arg == L"--output") {
        if (options.hasOutput) {
          error = "only one output file can be given";
          return false;
        }
        options.output = args[i];
        options.hasOutput = true;
      } else if (arg == L"--time-shift" || arg == L"--pitch-shift") {
        AmountSetting setting;
        if (!parseAmount(value, arg == L"--pitch-shift", setting, error)) return false;
        options.amounts.push_back(setting);
      } else if (arg == L"--presses") {
        if (!parseNumber(value, kMaxPresses, number)) {
          error = "--presses must be a whole number from 0 to " + std::to_string(kMaxPresses) +
                  ", got '" + toUtf8(value) + "'";
          return false;
        }
        options.presses = static_cast<uint32_t>(number);
        options.hasPresses = true;
      } else {
        if (!parseNumber(value, UINT32_MAX, number)) {
          error = "--seed must be a whole number from 0 to 4294967295, got '" + toUtf8(value) + "'";
          return false;
        }
        options.seed = static_cast<uint32_t>(number);
        options.hasSeed = true;
      }
      continue;
    }
    if (arg.size() > 1 && arg[0] == L'-') {
      error = "unknown option '" + toUtf8(arg) + "'";
      return false;
    }
    if (options.hasInput) {
      error = "only one input file can be given";
      return false;
    }
    options.input = args[i];
    options.hasInput = true;
  }
  if (!options.hasInput) {
    error = "no input file given";
    return false;
  }
  return true;
}

// Reads the input like the Load command: the path, then "Read %d bytes",
// then the reader's lines. False (after the error line) when it can't.
bool loadInput(const NativeString& path) {
  appendLog(toWide(path).c_str());
  std::vector<uint8_t> bytes;
  ReadOutcome outcome = readWholeFile(path, bytes);
  if (outcome == ReadOutcome::kOpenError) {
    appendLog(L"File open error!");
    return false;
  }
  if (outcome == ReadOutcome::kReadError) {
    appendLog(L"File read error!");
    return false;
  }
  appendLogNumber(L"Read %d bytes", static_cast<int>(bytes.size()));
  replaceCurrentSong();
  parseSong(bytes.data(), static_cast<int32_t>(bytes.size()));
  return true;
}

// Applies the amounts in the order given; a later setting for the same
// track wins. False (with `error`) when a track is not in the file.
bool applyAmounts(const std::vector<AmountSetting>& amounts, std::string& error) {
  Song& song = *currentSong;
  for (const AmountSetting& setting : amounts) {
    if (setting.track > song.trackCount) {
      error = (setting.pitch ? "--pitch-shift " : "--time-shift ") + toUtf8(setting.text) +
              ": the file has " + std::to_string(song.trackCount) + " track" +
              (song.trackCount == 1 ? "" : "s");
      return false;
    }
    const int first = setting.track == 0 ? 0 : setting.track - 1;
    const int last = setting.track == 0 ? song.trackCount : setting.track;
    for (int t = first; t < last; ++t) {
      (setting.pitch ? song.tracks[t].pitchShift : song.tracks[t].timeShift) = setting.amount;
    }
  }
  return true;
}

// Saves like the Save command: "File saved", "File save error!" or "File
// create error!", then "Saved %d bytes".
bool saveOutput(const NativeString& path) {
  uint8_t* image = nullptr;
  int32_t length = serializeSong(image);
  if (length < 0) {
    appendLog(L"File save error!");
    appendLogNumber(L"Saved %d bytes", 0);
    return false;
  }
  SaveResult result = saveFileReplacing(path, image, static_cast<size_t>(length));
  delete[] image;
  if (result.outcome == SaveOutcome::kCreateError) {
    appendLog(L"File create error!");
  } else if (result.outcome == SaveOutcome::kWriteError) {
    appendLog(L"File save error!");
  } else {
    appendLog(L"File saved");
  }
  // As the window does: the count the system reported for the write, 0 when
  // no file could be made or put in the target's place.
  appendLogNumber(L"Saved %d bytes", static_cast<int>(result.bytesWritten));
  return result.outcome == SaveOutcome::kSaved;
}

int runCli(const std::vector<NativeString>& args) {
  for (const NativeString& arg : args) {
    const std::wstring wide = toWide(arg);
    if (wide == L"-h" || wide == L"--help") {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
  }
  Options options;
  std::string error;
  if (!parseOptions(args, options, error)) return usageError(error);

  textLog.echo = true;
  if (!loadInput(options.input)) return kExitFileError;
  if (!applyAmounts(options.amounts, error)) return usageError(error);

  const uint32_t presses = options.hasPresses ? options.presses : (options.amounts.empty() ? 0 : 1);
  for (uint32_t i = 0; i < presses; ++i) {
    if (options.hasSeed) {
      transformSong(options.seed);
    } else {
      transformSong();
    }
  }

  int status = kExitOk;
  if (options.hasOutput && !saveOutput(options.output)) status = kExitFileError;
  // The song stays reachable through currentSong until the process ends:
  // freeing a million events one by one only to exit would cost more time
  // than the save.
  std::fflush(stdout);
  return status;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<NativeString> args(argv + 1, argv + argc);
  return runCli(args);
}
#else
int main(int argc, char** argv) {
  std::vector<NativeString> args(argv + 1, argv + argc);
  return runCli(args);
}
#endif
