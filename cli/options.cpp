#include "cli/options.h"

#include <cstdint>

#include "song/song.h"
#include "transform/musical_amounts.h"
#include "transform/classic_press.h"

const wchar_t kUsage[] =
    L"Usage: varnook-cli [OPTIONS] INPUT [-o OUTPUT]\n"
    L"       varnook-cli [OPTIONS] INPUT... -d DIR\n"
    L"       varnook-cli --list INPUT...\n"
    L"Humanises Standard MIDI Files: moves events in time and bends notes by small\n"
    L"random amounts, track by track, and saves the result. The log goes to standard\n"
    L"output. Without -o or -d nothing is saved: the input is read (and, with\n"
    L"amounts, humanised in memory) and the log shows what would happen.\n"
    L"\n"
    L"  -o, --output FILE        save to FILE; '-' writes the song to standard output\n"
    L"                           and the log to standard error\n"
    L"  -d, --output-dir DIR     save each INPUT as DIR/its file name (several inputs)\n"
    L"      --style classic|musical\n"
    L"                           classic (default): as the window does it; musical:\n"
    L"                           chords together, note lengths kept, bell-shaped\n"
    L"                           moves, bends in cents that return, one press\n"
    L"      --time-shift TRACK=AMOUNT\n"
    L"                           move each event by up to AMOUNT ticks (0-200);\n"
    L"                           musical: each note, also in ms (0ms-200ms)\n"
    L"      --pitch-shift TRACK=AMOUNT\n"
    L"                           bend each note by up to AMOUNT steps (0-64);\n"
    L"                           musical: in cents of the file's bend range (0c-100c)\n"
    L"      --velocity-shift TRACK=AMOUNT\n"
    L"                           move each note's velocity by up to AMOUNT (0-64)\n"
    L"                           TRACK: 1 up to the file's track count, or 'all';\n"
    L"                           the options repeat, a later one for the same track\n"
    L"                           wins; 0 is off\n"
    L"      --presses N          press Transform N times (1-100, default 1; classic)\n"
    L"      --seed S             start the random sequence at S (0-4294967295): the\n"
    L"                           same S gives the same bytes; without it a seed is\n"
    L"                           drawn, and either way it is logged as 'Seed S'\n"
    L"      --list               show each track's name, channels and notes; without\n"
    L"                           -o or -d nothing is pressed or saved\n"
    L"  -h, --help               show this help\n"
    L"      --version            show the version\n"
    L"\n"
    L"INPUT '-' reads the song from standard input. Every value can also be given as\n"
    L"--name=VALUE (-oFILE, -dDIR); '--' ends the options. A file is saved through a\n"
    L"new file beside it, which then takes its place; a link is followed, a device or\n"
    L"FIFO is written directly; a read-only file is refused.\n"
    L"Exit status: 0 done; 1 an input could not be read or has no track (or lacks a\n"
    L"track named in an amount, with several inputs), or an output could not be\n"
    L"written; 2 a usage error (nothing was done).\n";

namespace {

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

struct OptionSpec;
// Takes one option's value (empty for a flag) into `line`; false with
// `error` when it is not acceptable. `given` is the name as typed.
using Apply = bool (*)(const OptionSpec& spec, const std::wstring& given, const NativeString& value,
                       CommandLine& line, std::wstring& error);

struct OptionSpec {
  const wchar_t* name;  // the long form
  wchar_t letter;       // the short form's letter, or 0
  bool takesValue;
  Apply apply;
};

bool setOutput(const OptionSpec& spec, const std::wstring& given, const NativeString& value,
               CommandLine& line, std::wstring& error) {
  Options& options = line.options;
  if (options.target != Target::kNone) {
    error = L"only one of -o and -d, once";
    return false;
  }
  if (value.empty()) {
    error = given + L" needs a non-empty value";
    return false;
  }
  options.target = spec.letter == L'd'      ? Target::kFolder
                   : toWide(value) == L"-" ? Target::kStandardOutput
                                           : Target::kFile;
  options.output = value;
  return true;
}

// TRACK=AMOUNT, TRACK a number from 1 or "all", AMOUNT a whole number with
// "ms" (time) or "c" (pitch) after it where the style allows; checkAmounts
// holds it against the style once every option is read.
bool addAmount(const OptionSpec& spec, const std::wstring& given, const NativeString& raw,
               CommandLine& line, std::wstring& error) {
  const std::wstring text = toWide(raw);
  const std::wstring name = spec.name;
  AmountSetting setting;
  setting.kind = name == L"--pitch-shift"      ? AmountKind::kPitch
                 : name == L"--velocity-shift" ? AmountKind::kVelocity
                                               : AmountKind::kTime;
  setting.text = given + L" " + text;
  const size_t equals = text.find(L'=');
  if (equals == std::wstring::npos) {
    error = given + L" wants TRACK=AMOUNT, got '" + text + L"'";
    return false;
  }
  const std::wstring track = text.substr(0, equals);
  std::wstring amount = text.substr(equals + 1);
  const std::wstring unit = setting.kind == AmountKind::kTime    ? L"ms"
                            : setting.kind == AmountKind::kPitch ? L"c"
                                                                 : L"";
  setting.unit = !unit.empty() && amount.size() > unit.size() &&
                 amount.compare(amount.size() - unit.size(), unit.size(), unit) == 0;
  if (setting.unit) amount.resize(amount.size() - unit.size());
  uint64_t number = 0;
  if (track == L"all") {
    setting.track = 0;
  } else if (!parseNumber(track, INT32_MAX, number) || number < 1) {
    error = given + L": track must be a number from 1 or 'all', got '" + track + L"'";
    return false;
  } else {
    setting.track = static_cast<int>(number);
  }
  if (!parseNumber(amount, INT32_MAX, number)) {
    error = given + L": amount must be a whole number, got '" + text.substr(equals + 1) + L"'";
    return false;
  }
  setting.amount = static_cast<int>(number);
  line.options.amounts.push_back(setting);
  return true;
}

bool setStyle(const OptionSpec&, const std::wstring& given, const NativeString& raw,
              CommandLine& line, std::wstring& error) {
  const std::wstring value = toWide(raw);
  if (value != L"classic" && value != L"musical") {
    error = given + L" must be 'classic' or 'musical', got '" + value + L"'";
    return false;
  }
  line.options.style = value == L"musical" ? Style::kMusical : Style::kClassic;
  return true;
}

bool setPresses(const OptionSpec&, const std::wstring& given, const NativeString& raw,
                CommandLine& line, std::wstring& error) {
  uint64_t number = 0;
  if (!parseNumber(toWide(raw), kMaxPresses, number) || number < 1) {
    error = given + L" must be a whole number from 1 to " + std::to_wstring(kMaxPresses) +
            L", got '" + toWide(raw) + L"'";
    return false;
  }
  line.options.presses = static_cast<uint32_t>(number);
  line.options.hasPresses = true;
  return true;
}

bool setSeed(const OptionSpec&, const std::wstring& given, const NativeString& raw,
             CommandLine& line, std::wstring& error) {
  uint64_t number = 0;
  if (!parseNumber(toWide(raw), UINT32_MAX, number)) {
    error = given + L" must be a whole number from 0 to 4294967295, got '" + toWide(raw) + L"'";
    return false;
  }
  line.options.seed = static_cast<uint32_t>(number);
  line.options.hasSeed = true;
  return true;
}

bool setList(const OptionSpec&, const std::wstring&, const NativeString&, CommandLine& line,
             std::wstring&) {
  line.options.list = true;
  return true;
}

bool askHelp(const OptionSpec&, const std::wstring&, const NativeString&, CommandLine& line,
             std::wstring&) {
  line.request = Request::kHelp;
  return true;
}

bool askVersion(const OptionSpec&, const std::wstring&, const NativeString&, CommandLine& line,
                std::wstring&) {
  line.request = Request::kVersion;
  return true;
}

// Every option, as --help lists them. A new option is one row and the
// function that takes its value.
const OptionSpec kOptions[] = {
    {L"--output", L'o', true, setOutput},      {L"--output-dir", L'd', true, setOutput},
    {L"--style", 0, true, setStyle},           {L"--time-shift", 0, true, addAmount},
    {L"--pitch-shift", 0, true, addAmount},    {L"--velocity-shift", 0, true, addAmount},
    {L"--presses", 0, true, setPresses},       {L"--seed", 0, true, setSeed},
    {L"--list", 0, false, setList},            {L"--help", L'h', false, askHelp},
    {L"--version", 0, false, askVersion},
};

const OptionSpec* findLong(const std::wstring& name) {
  for (const OptionSpec& spec : kOptions) {
    if (name == spec.name) return &spec;
  }
  return nullptr;
}

const OptionSpec* findShort(wchar_t letter) {
  for (const OptionSpec& spec : kOptions) {
    if (spec.letter != 0 && spec.letter == letter) return &spec;
  }
  return nullptr;
}

// What the amounts must be in the style chosen: "" when they will do.
std::wstring checkAmounts(const Options& options) {
  const bool musical = options.style == Style::kMusical;
  for (const AmountSetting& a : options.amounts) {
    const bool time = a.kind == AmountKind::kTime, pitch = a.kind == AmountKind::kPitch;
    if (a.unit && !musical) {
      return a.text + L": " + (time ? L"milliseconds" : L"cents") +
             L" need --style musical (the classic style counts " +
             (time ? L"ticks)" : L"bend steps)");
    }
    const int limit = time    ? (a.unit    ? kMaxMusicalTimeMs
                                 : musical ? kMaxMusicalTimeTicks
                                           : kMaxTimeShift)
                      : pitch ? (musical ? kMaxPitchCents : kMaxPitchShift)
                              : kMaxVelocityShift;
    if (a.amount > limit) {
      const std::wstring range =
          time    ? (musical ? L"0 to 200 (ticks) or 0ms to 200ms" : L"0 to 200 (ticks)")
          : pitch ? (musical ? L"0c to 100c (cents)" : L"0 to 64 (bend steps)")
                  : L"0 to 64";
      return a.text + L": amount must be " + range;
    }
  }
  if (options.hasPresses && options.amounts.empty()) {
    return L"--presses needs --time-shift, --pitch-shift or --velocity-shift";
  }
  if (options.hasPresses && musical) {
    return L"--presses does not go with --style musical: its press always starts from the song as "
           L"loaded, so presses would not add up";
  }
  return L"";
}

// What the inputs must be, once each is expanded: "" when they will do.
std::wstring checkInputs(const Options& options) {
  if (options.inputs.empty()) return L"no input file given";
  if (options.inputs.size() > 1 && options.target != Target::kFolder &&
      !(options.list && options.target == Target::kNone)) {
    return L"several inputs need -d DIR (or --list alone)";
  }
  int fromStandardInput = 0;
  std::vector<NativeString> names;
  for (const NativeString& input : options.inputs) {
    if (toWide(input) == L"-") {
      if (options.target == Target::kFolder) {
        return L"standard input has no file name to save under in " + toWide(options.output) +
               L": use -o";
      }
      ++fromStandardInput;
      continue;
    }
    if (options.target != Target::kFolder) continue;
    const NativeString name = fileNameOf(input);
    if (name.empty()) return L"'" + toWide(input) + L"' has no file name to save under";
    // Compared as the folder's system compares names: on Windows "Song.mid"
    // and "song.mid" are one file, and the second save would replace the first.
    for (const NativeString& earlier : names) {
      if (sameFileName(earlier, name)) {
        return L"two inputs would be saved as one file: " +
               toWide(joinPath(options.output, earlier)) + L" and " +
               toWide(joinPath(options.output, name));
      }
    }
    names.push_back(name);
  }
  if (fromStandardInput > 1) return L"standard input can be read only once";
  return L"";
}

}  // namespace

CommandLine parseCommandLine(const std::vector<NativeString>& args, InputExpander expand) {
  CommandLine line;
  std::vector<NativeString> inputs;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring arg = toWide(args[i]);
    if (optionsEnded || arg == L"-" || arg.empty() || arg[0] != L'-') {
      inputs.push_back(args[i]);
      continue;
    }
    if (arg == L"--") {
      optionsEnded = true;
      continue;
    }
    const bool isLong = arg.rfind(L"--", 0) == 0;
    const size_t equals = isLong ? arg.find(L'=') : std::wstring::npos;
    const std::wstring given = isLong ? arg.substr(0, equals) : arg.substr(0, 2);
    const OptionSpec* spec = isLong ? findLong(given) : findShort(arg[1]);
    // Both the name and the short letter are ASCII: they take as many units
    // in the native form as in the wide one, so the value is cut from the
    // native argument, as given (the wide one may hold U+FFFD for bytes
    // that are not UTF-8).
    const bool attached = isLong ? equals != std::wstring::npos : arg.size() > 2;
    if (spec == nullptr || (attached && !isLong && !spec->takesValue)) {
      line.error = L"unknown option '" + arg + L"'";
      return line;
    }
    NativeString value;
    if (attached && !spec->takesValue) {
      line.error = given + L" takes no value";
      return line;
    }
    if (attached) {
      value = args[i].substr(isLong ? equals + 1 : 2);
    } else if (spec->takesValue) {
      if (i + 1 == args.size()) {
        line.error = given + L" needs a value";
        return line;
      }
      value = args[++i];
    }
    if (!spec->apply(*spec, given, value, line, line.error)) return line;
    if (line.request != Request::kRun) return line;
  }

  for (const NativeString& input : inputs) {
    if (expand == nullptr || toWide(input) == L"-") {
      line.options.inputs.push_back(input);
      continue;
    }
    std::vector<NativeString> files;
    if (!expand(input, files, line.error)) {
      line.notUsage = true;
      return line;
    }
    line.options.inputs.insert(line.options.inputs.end(), files.begin(), files.end());
  }
  line.error = checkAmounts(line.options);
  if (line.error.empty()) line.error = checkInputs(line.options);
  return line;
}
