// varnook-cli [OPTIONS] INPUT [-o OUTPUT]
// varnook-cli [OPTIONS] INPUT... -d DIR
// varnook-cli --list INPUT...
//
// Loads Standard MIDI Files the way the window's Load command does, sets
// per-track amounts, presses Transform, and saves the way Save does. The
// window's log lines go to standard output (standard error when the song
// itself goes to standard output); errors go to standard error, one line
// each, "varnook-cli: " + what + the system's reason. Each input is a run of
// its own: one that fails does not stop the rest, and the worst status is
// the tool's (0 done, 1 a file could not be read or written, 2 a usage
// error: nothing was done).
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#endif

#include "cli/humanise.h"
#include "cli/options.h"
#include "cli/text_log.h"
#include "cli/track_list.h"
#include "platform/event_memory.h"
#include "platform/file_io.h"
#include "platform/song_file.h"
#include "song/log.h"
#include "song/song.h"
#include "varnook_version.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFileError = 1;
constexpr int kExitUsage = 2;

// Log lines go here: standard output, or standard error when the song does.
Stream logStream = Stream::kOutput;

// The song of the input in hand. It stays reachable until the process ends:
// freeing a million events one by one only to exit would cost more time than
// the save.
Song* song = nullptr;

void echoLogLine(const wchar_t* line) { printText(logStream, std::wstring(line) + L"\n"); }

void printError(const std::wstring& message) {
  printText(Stream::kError, L"varnook-cli: " + message + L"\n");
}

int usageError(const std::wstring& message) {
  printText(Stream::kError, L"varnook-cli: " + message + L"\nTry 'varnook-cli --help'.\n");
  return kExitUsage;
}

std::wstring shown(const NativeString& input) {
  const std::wstring wide = toWide(input);
  return wide == L"-" ? L"standard input" : wide;
}

// Reads the input like the Load command, with its log lines.
int loadInput(const NativeString& input) {
  const ReadResult read = toWide(input) == L"-" ? loadSongFromStandardInput(song)
                                                : loadSongAt(input, ReadSharing::kShared, song);
  if (read.outcome != ReadOutcome::kRead) {
    printError(shown(input) + L": " + read.reason);
    return kExitFileError;
  }
  if (song->trackCount == 0) {
    printError(shown(input) + L": no MIDI track found (not a MIDI file?)");
    return kExitFileError;
  }
  return kExitOk;
}

// Saves like the Save command, after a line naming where the song goes.
int saveOutput(Target target, const NativeString& path) {
  const bool toStandardOutput = target == Target::kStandardOutput;
  const std::wstring where = toStandardOutput ? L"standard output" : toWide(path);
  appendLog((L"Saving to " + where).c_str());
  const SaveResult result =
      toStandardOutput ? saveSongToStandardOutput(*song) : saveSongAt(*song, path);
  if (result.outcome == SaveOutcome::kSaved) return kExitOk;
  printError(where + L": " + result.reason);
  return kExitFileError;
}

// What became of one input.
enum class RunOutcome { kDone, kFileError, kTrackMissing };

// One input, start to end: load, list, press, save.
RunOutcome runOne(const Options& options, const NativeString& input) {
  clearTextLog();
  if (loadInput(input) != kExitOk) return RunOutcome::kFileError;
  std::wstring error;
  std::vector<TrackAmounts> amounts;
  if (!resolveAmounts(*song, options.amounts, amounts, error)) {
    // With one input this is a usage error: nothing was done. With several,
    // it is this file's fault and the others go on.
    if (options.inputs.size() == 1) {
      usageError(error);
    } else {
      printError(shown(input) + L": " + error + L"; not saved");
    }
    return RunOutcome::kTrackMissing;
  }
  const bool saving = options.target != Target::kNone;
  const bool pressing = !options.amounts.empty() && (saving || !options.list);
  const uint32_t seed = !pressing ? 0 : options.hasSeed ? options.seed : unpredictableNumber();
  if (pressing) appendLog((L"Seed " + std::to_wstring(seed)).c_str());
  if (options.list) listTracks(*song);
  if (pressing) humaniseSong(*song, options.style, amounts, seed, options.presses);
  int status = kExitOk;
  if (options.target == Target::kFile || options.target == Target::kStandardOutput) {
    status = saveOutput(options.target, options.output);
  } else if (options.target == Target::kFolder) {
    status = saveOutput(Target::kFile, joinPath(options.output, fileNameOf(input)));
  }
  return status == kExitOk ? RunOutcome::kDone : RunOutcome::kFileError;
}

int runCli(const std::vector<NativeString>& args) {
  const CommandLine line = parseCommandLine(args, expandWildcards);
  const Options& options = line.options;
  if (!line.error.empty()) {
    if (!line.notUsage) return usageError(line.error);
    printError(line.error);
    return kExitFileError;
  }
  if (line.request == Request::kHelp) {
    printText(Stream::kOutput, usageText());
    return kExitOk;
  }
  if (line.request == Request::kVersion) {
    printText(Stream::kOutput, L"varnook-cli " VARNOOK_VERSION_TEXT L"\n");
    return kExitOk;
  }
  std::wstring error;
  if (options.target == Target::kFolder && !isFolder(options.output, error)) {
    printError(toWide(options.output) + L": " + error);
    return kExitFileError;
  }

  logStream = options.target == Target::kStandardOutput ? Stream::kError : Stream::kOutput;
  textLog.echo = echoLogLine;
  int status = kExitOk;
  size_t trackMissing = 0;
  for (const NativeString& input : options.inputs) {
    const RunOutcome outcome = runOne(options, input);
    if (outcome != RunOutcome::kDone) status = kExitFileError;
    if (outcome == RunOutcome::kTrackMissing) ++trackMissing;
  }
  // An amount for a track that no input has: nothing was done at all.
  if (trackMissing == options.inputs.size()) status = kExitUsage;
  if (!options.amounts.empty() && options.target == Target::kNone) {
    printError(L"nothing was saved: give -o OUTPUT (or -d DIR) to save the result");
  }
  return status;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  removeTemporaryFileOnInterrupt();
  std::vector<NativeString> args(argv + 1, argv + argc);
  return runCli(args);
}
#else
int main(int argc, char** argv) {
  // A file-size limit then fails the write (and the save says so) instead
  // of ending the process in the middle of it.
  std::signal(SIGXFSZ, SIG_IGN);
  removeTemporaryFileOnInterrupt();
  useLargePagesForEvents();
  std::vector<NativeString> args(argv + 1, argv + argc);
  return runCli(args);
}
#endif
