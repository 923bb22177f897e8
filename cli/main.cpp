// varnook-cli [OPTIONS] INPUT [-o OUTPUT]
// varnook-cli [OPTIONS] INPUT... -d DIR
//
// Loads Standard MIDI Files the way the window's Load command does, sets
// per-track amounts, presses Transform, and saves the way Save does. The
// window's log lines go to standard output (standard error when the song
// itself goes to standard output); errors go to standard error, one line
// each, "varnook-cli: " + what + the system's reason. Exit status: 0 done,
// 1 an input could not be read or has no track, or an output could not be
// written, 2 a usage error (nothing is written for it).
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#endif

#include "cli/event_memory.h"
#include "cli/file_io.h"
#include "cli/text_log.h"
#include "song/log.h"
#include "song/reader.h"
#include "song/song.h"
#include "song/writer.h"
#include "transform/random_source.h"
#include "transform/transform.h"
#include "varnook_version.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFileError = 1;
constexpr int kExitUsage = 2;
constexpr int kMaxTimeShift = 200;
constexpr int kMaxPitchShift = 64;
// Every pitch-shift press adds a bend per note; a hundred presses already
// make a file many times its size.
constexpr uint64_t kMaxPresses = 100;
// A track name longer than this is cut in the list.
constexpr size_t kListedNameUnits = 60;

const wchar_t kTryHelp[] = L"Try 'varnook-cli --help'.\n";

const wchar_t kUsage[] =
    L"Usage: varnook-cli [OPTIONS] INPUT [-o OUTPUT]\n"
    L"       varnook-cli [OPTIONS] INPUT... -d DIR\n"
    L"Humanises Standard MIDI Files: moves events in time and bends notes by small\n"
    L"random amounts, track by track, and saves the result. The log goes to standard\n"
    L"output. Without -o or -d nothing is saved: the input is read (and, with\n"
    L"amounts, humanised in memory) and the log shows what would happen.\n"
    L"\n"
    L"  -o, --output FILE        save to FILE; '-' writes the song to standard output\n"
    L"                           and the log to standard error\n"
    L"  -d, --output-dir DIR     save each INPUT as DIR/its file name (several inputs)\n"
    L"      --time-shift TRACK=AMOUNT\n"
    L"                           move each event by up to AMOUNT ticks (0-200)\n"
    L"      --pitch-shift TRACK=AMOUNT\n"
    L"                           bend each note by up to AMOUNT steps (0-64)\n"
    L"                           TRACK: 1 to 16 or 'all'; both options repeat, a later\n"
    L"                           one for the same track wins; 0 is off\n"
    L"      --presses N          press Transform N times (1-100, default 1)\n"
    L"      --seed S             start the random sequence at S (0-4294967295): the\n"
    L"                           same S gives the same bytes; without it a seed is\n"
    L"                           drawn, and either way it is logged as 'Seed S'\n"
    L"      --list               show each track's name, channels and notes; without\n"
    L"                           -o or -d nothing is pressed or saved\n"
    L"  -h, --help               show this help\n"
    L"      --version            show the version\n"
    L"\n"
    L"INPUT '-' reads the song from standard input. Every value can also be given as\n"
    L"--name=VALUE; '--' ends the options. A file is saved through a new file beside\n"
    L"it, renamed over it once complete; a link is followed, a device or FIFO is\n"
    L"written directly.\n"
    L"Exit status: 0 done; 1 an input could not be read or has no track, or an output\n"
    L"could not be written; 2 a usage error.\n";

// One --time-shift or --pitch-shift setting; track 0 means all tracks.
struct AmountSetting {
  bool pitch = false;
  int track = 0;
  int amount = 0;
  std::wstring text;  // as given, for messages
};

enum class Target { kNone, kFile, kStandardOutput, kFolder };

struct Options {
  std::vector<NativeString> inputs;
  Target target = Target::kNone;
  NativeString output;  // the file, or the folder with -d
  std::vector<AmountSetting> amounts;
  bool hasPresses = false;
  uint32_t presses = 1;
  bool hasSeed = false;
  uint32_t seed = 0;
  bool list = false;
};

enum class Request { kRun, kHelp, kVersion };

// Log lines go here: standard output, or standard error when the song does.
Stream logStream = Stream::kOutput;

void echoLogLine(const wchar_t* line) { printText(logStream, std::wstring(line) + L"\n"); }

void printError(const std::wstring& message) {
  printText(Stream::kError, L"varnook-cli: " + message + L"\n");
}

int usageError(const std::wstring& message) {
  printText(Stream::kError, L"varnook-cli: " + message + L"\n" + kTryHelp);
  return kExitUsage;
}

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

// TRACK=AMOUNT, TRACK a number from 1 to 16 or "all".
bool parseAmount(const std::wstring& name, const std::wstring& text, AmountSetting& setting,
                 std::wstring& error) {
  setting.pitch = name == L"--pitch-shift";
  setting.text = name + L" " + text;
  const int limit = setting.pitch ? kMaxPitchShift : kMaxTimeShift;
  const size_t equals = text.find(L'=');
  if (equals == std::wstring::npos) {
    error = name + L" wants TRACK=AMOUNT, got '" + text + L"'";
    return false;
  }
  const std::wstring track = text.substr(0, equals);
  const std::wstring amount = text.substr(equals + 1);
  uint64_t number = 0;
  if (track == L"all") {
    setting.track = 0;
  } else if (!parseNumber(track, UINT32_MAX, number) || number < 1) {
    error = name + L": track must be a number from 1 or 'all', got '" + track + L"'";
    return false;
  } else if (number > kMaxTracks) {
    error = setting.text + L": tracks after the 16th are kept unchanged and can't be humanised";
    return false;
  } else {
    setting.track = static_cast<int>(number);
  }
  if (!parseNumber(amount, static_cast<uint64_t>(limit), number)) {
    error = name + L": amount must be a whole number from 0 to " + std::to_wstring(limit) +
            L", got '" + amount + L"'";
    return false;
  }
  setting.amount = static_cast<int>(number);
  return true;
}

bool takesValue(const std::wstring& name) {
  return name == L"-o" || name == L"--output" || name == L"-d" || name == L"--output-dir" ||
         name == L"--time-shift" || name == L"--pitch-shift" || name == L"--presses" ||
         name == L"--seed";
}

// One option and its value.
bool applyOption(const std::wstring& name, const NativeString& raw, Options& options,
                 std::wstring& error) {
  const std::wstring value = toWide(raw);
  uint64_t number = 0;
  if (name == L"-o" || name == L"--output" || name == L"-d" || name == L"--output-dir") {
    if (options.target != Target::kNone) {
      error = L"only one of -o and -d, once";
      return false;
    }
    const bool folder = name == L"-d" || name == L"--output-dir";
    if (raw.empty()) {
      error = name + L" needs a non-empty value";
      return false;
    }
    options.target = folder          ? Target::kFolder
                     : value == L"-" ? Target::kStandardOutput
                                     : Target::kFile;
    options.output = raw;
  } else if (name == L"--time-shift" || name == L"--pitch-shift") {
    AmountSetting setting;
    if (!parseAmount(name, value, setting, error)) return false;
    options.amounts.push_back(setting);
  } else if (name == L"--presses") {
    if (!parseNumber(value, kMaxPresses, number) || number < 1) {
      error = L"--presses must be a whole number from 1 to " + std::to_wstring(kMaxPresses) +
              L", got '" + value + L"'";
      return false;
    }
    options.presses = static_cast<uint32_t>(number);
    options.hasPresses = true;
  } else {
    if (!parseNumber(value, UINT32_MAX, number)) {
      error = L"--seed must be a whole number from 0 to 4294967295, got '" + value + L"'";
      return false;
    }
    options.seed = static_cast<uint32_t>(number);
    options.hasSeed = true;
  }
  return true;
}

// Fills `options` from the arguments after the program name. Help and
// version answer at once, as soon as they are met.
bool parseOptions(const std::vector<NativeString>& args, Options& options, Request& request,
                  std::wstring& error) {
  request = Request::kRun;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring arg = toWide(args[i]);
    if (optionsEnded || arg == L"-" || arg.empty() || arg[0] != L'-') {
      options.inputs.push_back(args[i]);
      continue;
    }
    if (arg == L"--") {
      optionsEnded = true;
      continue;
    }
    // --name=value; short options take their value as the next argument.
    const size_t equals = arg.rfind(L"--", 0) == 0 ? arg.find(L'=') : std::wstring::npos;
    const std::wstring name = arg.substr(0, equals);
    if (takesValue(name)) {
      NativeString value;
      if (equals != std::wstring::npos) {
        // The value as given, from the native form: the wide one may hold
        // U+FFFD for bytes that are not UTF-8. The name is ASCII, so the
        // first '=' is the same one in both.
        value = args[i].substr(args[i].find(static_cast<NativeString::value_type>('=')) + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        error = name + L" needs a value";
        return false;
      }
      if (!applyOption(name, value, options, error)) return false;
      continue;
    }
    if (equals != std::wstring::npos &&
        (name == L"--list" || name == L"--help" || name == L"--version")) {
      error = name + L" takes no value";
      return false;
    }
    if (arg == L"-h" || arg == L"--help") {
      request = Request::kHelp;
      return true;
    }
    if (arg == L"--version") {
      request = Request::kVersion;
      return true;
    }
    if (arg == L"--list") {
      options.list = true;
      continue;
    }
    error = L"unknown option '" + arg + L"'";
    return false;
  }

  if (options.inputs.empty()) {
    error = L"no input file given";
    return false;
  }
  if (options.inputs.size() > 1 && options.target != Target::kFolder) {
    error = L"several inputs need -d DIR";
    return false;
  }
  if (options.hasPresses && options.amounts.empty()) {
    error = L"--presses needs --time-shift or --pitch-shift";
    return false;
  }
  int fromStandardInput = 0;
  std::set<std::wstring> names;
  for (const NativeString& input : options.inputs) {
    if (toWide(input) == L"-") {
      if (options.target == Target::kFolder) {
        error = L"standard input has no file name to save under in " + toWide(options.output) +
                L": use -o";
        return false;
      }
      ++fromStandardInput;
      continue;
    }
    if (options.target != Target::kFolder) continue;
    const std::wstring name = toWide(fileNameOf(input));
    if (name.empty()) {
      error = L"'" + toWide(input) + L"' has no file name to save under";
      return false;
    }
    if (!names.insert(name).second) {
      error =
          L"two inputs would be saved as " + toWide(joinPath(options.output, fileNameOf(input)));
      return false;
    }
  }
  if (fromStandardInput > 1) {
    error = L"standard input can be read only once";
    return false;
  }
  return true;
}

// Reads the input like the Load command: the path, then "Read %d bytes",
// then the reader's lines. Returns the exit status so far.
int loadInput(const NativeString& path) {
  const std::wstring shown = toWide(path);
  appendLog(shown.c_str());
  std::vector<uint8_t> bytes;
  const ReadResult read = shown == L"-" ? readStandardInput(bytes) : readWholeFile(path, bytes);
  if (read.outcome != ReadOutcome::kRead) {
    appendLog(read.outcome == ReadOutcome::kOpenError ? L"File open error!" : L"File read error!");
    printError((shown == L"-" ? L"standard input" : shown) + L": " + read.reason);
    return kExitFileError;
  }
  appendLogNumber(L"Read %d bytes", static_cast<int>(bytes.size()));
  if (!loadSongImage(bytes.data(), static_cast<int32_t>(bytes.size()))) {
    printError((shown == L"-" ? L"standard input" : shown) +
               L": no MIDI header found (not a MIDI file?)");
    return kExitFileError;
  }
  if (currentSong->trackCount == 0) {
    printError((shown == L"-" ? L"standard input" : shown) +
               L": no MIDI track found (not a MIDI file?)");
    return kExitFileError;
  }
  return kExitOk;
}

// Applies the amounts in the order given; a later setting for the same
// track wins. False (with `error`) when a track is not in the file.
bool applyAmounts(const std::vector<AmountSetting>& amounts, std::wstring& error) {
  Song& song = *currentSong;
  for (const AmountSetting& setting : amounts) {
    if (setting.track > song.trackCount) {
      error = setting.text + L": the file has " + std::to_wstring(song.trackCount) + L" track" +
              (song.trackCount == 1 ? L"" : L"s");
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

// The byte at `index` after an event's status: data1, data2, then extra.
uint8_t eventByte(const MidiEvent& event, int32_t index) {
  if (index == 0) return event.data1;
  if (index == 1) return event.data2;
  return event.extra[index - 2];
}

// A track-name meta event's text. Names carry no encoding: UTF-8 when the
// bytes are valid UTF-8, otherwise one character per byte (Latin-1).
std::wstring trackName(const MidiEvent& event) {
  // After the type byte: the length as a variable-length quantity, then the text.
  int32_t at = 1;
  while (at < event.dataLength && (eventByte(event, at) & 0x80) != 0) ++at;
  ++at;
  std::string bytes;
  for (; at < event.dataLength; ++at) bytes += static_cast<char>(eventByte(event, at));
  bool valid = false;
  std::wstring name = fromUtf8(bytes, &valid);
  if (!valid) {
    name.clear();
    for (char c : bytes) name += static_cast<wchar_t>(static_cast<unsigned char>(c));
  }
  for (wchar_t& c : name) {
    if (c < 0x20 || c == 0x7F) c = L'?';
  }
  if (name.size() > kListedNameUnits) name = name.substr(0, kListedNameUnits) + L"...";
  return name;
}

// "Track N "name": channels 1, 10; K notes", channels counted from 1.
void listTrack(int number, const MidiEvent& head, bool kept) {
  std::wstring name;
  bool named = false;
  uint8_t running = 0;
  uint32_t channels = 0;
  int64_t notes = 0;
  for (const MidiEvent* event = &head; event != nullptr; event = event->next) {
    const uint8_t status = event->status;
    if (status == 0xFF && !named && event->dataLength >= 1 && event->data1 == 0x03) {
      name = trackName(*event);
      named = true;
    }
    if (status >= 0x80 && status <= 0xEF) {
      running = status;
      channels |= 1u << (status & 0x0F);
      if ((status & 0xF0) == 0x90 && event->dataLength == 2 && event->data2 > 0) ++notes;
    } else if (status < 0x80 && running != 0) {
      // Running status: `status` is the key, data1 the velocity.
      channels |= 1u << (running & 0x0F);
      if ((running & 0xF0) == 0x90 && event->dataLength == 1 && event->data1 > 0) ++notes;
    }
  }
  std::wstring line = L"Track " + std::to_wstring(number);
  if (named) line += L" \"" + name + L"\"";
  std::wstring list;
  int count = 0;
  for (int channel = 0; channel < 16; ++channel) {
    if ((channels & (1u << channel)) == 0) continue;
    list += (count++ == 0 ? L" " : L", ") + std::to_wstring(channel + 1);
  }
  line +=
      count == 0 ? L": no channel messages" : (count == 1 ? L": channel" : L": channels") + list;
  line += L"; " + std::to_wstring(notes) + (notes == 1 ? L" note" : L" notes");
  if (kept) line += L"; kept unchanged (only tracks 1 to 16 can be humanised)";
  appendLog(line.c_str());
}

void listTracks() {
  const Song& song = *currentSong;
  int number = 1;
  for (int t = 0; t < song.trackCount; ++t) listTrack(number++, song.tracks[t].head, false);
  for (const TrackSlot& slot : song.extraTracks) listTrack(number++, slot.head, true);
}

// One press, then a line per transformed track from what the press reports.
void pressOnce() {
  TrackPressSummary summaries[kMaxTracks];
  transformSong(randomSource, summaries);
  const Song& song = *currentSong;
  for (int t = 0; t < song.trackCount; ++t) {
    const TrackSlot& slot = song.tracks[t];
    if (slot.timeShift == 0 && slot.pitchShift == 0) continue;
    std::wstring line = L"Track " + std::to_wstring(t + 1) + L":";
    if (slot.timeShift != 0) {
      line += L" time shift moved " + std::to_wstring(summaries[t].eventsMoved) +
              L" events, at most " + std::to_wstring(summaries[t].largestMove) + L" ticks";
    }
    if (slot.pitchShift != 0) {
      line += std::wstring(slot.timeShift != 0 ? L";" : L"") + L" pitch shift added " +
              std::to_wstring(summaries[t].bendsAdded) + L" bends";
    }
    appendLog(line.c_str());
  }
}

// Saves like the Save command: "File saved", "File save error!" or "File
// create error!", then "Saved %d bytes".
int saveOutput(Target target, const NativeString& path) {
  uint8_t* image = nullptr;
  const int32_t length = serializeSong(image);
  SaveResult result;
  if (length < 0) {
    result.outcome = SaveOutcome::kWriteError;
    result.reason = L"the song is too large for a MIDI file";
  } else if (target == Target::kStandardOutput) {
    result = writeStandardOutput(image, static_cast<size_t>(length));
  } else {
    result = saveFileReplacing(path, image, static_cast<size_t>(length));
  }
  delete[] image;
  appendLog(result.outcome == SaveOutcome::kSaved         ? L"File saved"
            : result.outcome == SaveOutcome::kCreateError ? L"File create error!"
                                                          : L"File save error!");
  // As the window does: the count the system reported for the write, 0 when
  // no file could be made or put in the target's place.
  appendLogNumber(L"Saved %d bytes", static_cast<int>(result.bytesWritten));
  if (result.outcome == SaveOutcome::kSaved) return kExitOk;
  printError((target == Target::kStandardOutput ? L"standard output" : toWide(path)) + L": " +
             result.reason);
  return kExitFileError;
}

// One input, start to end: load, list, press, save.
int runOne(const Options& options, const NativeString& input) {
  clearTextLog();
  int status = loadInput(input);
  if (status != kExitOk) return status;
  std::wstring error;
  if (!applyAmounts(options.amounts, error)) {
    if (options.inputs.size() > 1) error = toWide(input) + L": " + error;
    return usageError(error);
  }
  const bool saving = options.target != Target::kNone;
  const bool pressing = !options.amounts.empty() && (saving || !options.list);
  if (pressing) {
    const uint32_t seed = options.hasSeed ? options.seed : unpredictableNumber();
    appendLog((L"Seed " + std::to_wstring(seed)).c_str());
    seedRandomSource(randomSource, seed);
  }
  if (options.list) listTracks();
  if (pressing) {
    for (uint32_t i = 0; i < options.presses; ++i) pressOnce();
  }
  if (options.target == Target::kFile || options.target == Target::kStandardOutput) {
    status = saveOutput(options.target, options.output);
  } else if (options.target == Target::kFolder) {
    status = saveOutput(Target::kFile, joinPath(options.output, fileNameOf(input)));
  }
  return status;
}

int runCli(const std::vector<NativeString>& args) {
  Options options;
  Request request = Request::kRun;
  std::wstring error;
  if (!parseOptions(args, options, request, error)) return usageError(error);
  if (request == Request::kHelp) {
    printText(Stream::kOutput, kUsage);
    return kExitOk;
  }
  if (request == Request::kVersion) {
    printText(Stream::kOutput, L"varnook-cli " VARNOOK_VERSION_TEXT L"\n");
    return kExitOk;
  }
  if (options.target == Target::kFolder && !isFolder(options.output, error)) {
    printError(toWide(options.output) + L": " + error);
    return kExitFileError;
  }

  logStream = options.target == Target::kStandardOutput ? Stream::kError : Stream::kOutput;
  textLog.echo = echoLogLine;
  // Each input is a run of its own; one that fails does not stop the rest,
  // and the worst status is the tool's.
  int status = kExitOk;
  for (const NativeString& input : options.inputs) {
    const int one = runOne(options, input);
    if (one > status) status = one;
  }
  if (!options.amounts.empty() && options.target == Target::kNone) {
    printError(L"nothing was saved: give -o OUTPUT (or -d DIR) to save the result");
  }
  // The song stays reachable through currentSong until the process ends:
  // freeing a million events one by one only to exit would cost more time
  // than the save.
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
  // A file-size limit then fails the write (and the save says so) instead
  // of ending the process in the middle of it.
  std::signal(SIGXFSZ, SIG_IGN);
  useLargePagesForEvents();
  std::vector<NativeString> args(argv + 1, argv + argc);
  return runCli(args);
}
#endif
