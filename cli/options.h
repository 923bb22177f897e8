// The command line of varnook-cli, parsed: a pure function from the
// arguments after the program name to Options, or to the text of the first
// usage error. Nothing is read, written or printed here; wildcards are
// expanded through the function the caller hands in (the system's).
#pragma once

#include <string>
#include <vector>

#include "platform/file_io.h"

// How to humanise: as the window does, or the musical style of
// transform/musical_press.h.
enum class Style { kClassic, kMusical };

enum class AmountKind { kTime, kPitch, kVelocity };

// One --time-shift, --pitch-shift or --velocity-shift setting; track 0
// means all tracks. `unit`: the amount was given in ms (time) or c (pitch).
struct AmountSetting {
  AmountKind kind = AmountKind::kTime;
  int track = 0;
  int amount = 0;
  bool unit = false;
  std::wstring text;  // as given, "--time-shift 2=30", for messages
};

enum class Target { kNone, kFile, kStandardOutput, kFolder };

struct Options {
  std::vector<NativeString> inputs;
  Target target = Target::kNone;
  NativeString output;  // the file, or the folder with -d
  std::vector<AmountSetting> amounts;
  Style style = Style::kClassic;
  bool hasPresses = false;
  uint32_t presses = 1;
  bool hasSeed = false;
  uint32_t seed = 0;
  bool list = false;
};

enum class Request { kRun, kHelp, kVersion };

struct CommandLine {
  Request request = Request::kRun;
  Options options;
  std::wstring error;  // empty when the arguments make sense
  // The error is about the files, not the usage: a wildcard that matches
  // nothing (status 1, like an input that can't be read).
  bool notUsage = false;
};

// Expands one INPUT argument into the files it names (expandWildcards).
using InputExpander = bool (*)(const NativeString& argument, std::vector<NativeString>& files,
                               std::wstring& error);

// Options come in any order among the inputs; "--" ends them. A long option
// takes its value as "--name=value" or as the next argument, a short one
// also attached ("-oFILE"). -h/--help and --version answer as soon as they
// are met. `expand`, when given, turns each input into its files before the
// inputs are checked (several inputs need -d or --list; with -d no two may
// be saved under one name, compared with sameFileName).
CommandLine parseCommandLine(const std::vector<NativeString>& args, InputExpander expand = nullptr);

// The text of --help, made from the same option table the parsing reads.
std::wstring usageText();

// Presses are capped: every pitch-shift press adds a bend per note, and a
// hundred already make a file many times its size.
constexpr uint32_t kMaxPresses = 100;
