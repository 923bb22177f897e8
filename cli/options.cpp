#include "cli/options.h"

#include <algorithm>
#include <cstdint>

#include "transform/classic_press.h"
#include "transform/musical_amounts.h"

namespace {

// Numbers an option accepts, "0 to 200 (ticks)" in messages and "0-200" in the usage:
// `suffix` is the unit written after them ("ms"), `name` the unit a message adds.
struct Range {
  uint32_t low = 0, high = 0;
  const wchar_t* suffix = L"";
  const wchar_t* name = nullptr;
};

enum class Value { kNone, kOutput, kStyle, kAmount, kNumber };

constexpr int kClassic = static_cast<int>(Style::kClassic),
              kMusical = static_cast<int>(Style::kMusical);

// One option: how it is written, what it takes and where that goes, the
// numbers it accepts, and its lines in the usage.
struct OptionRow {
  const wchar_t* name;                 // the long form
  wchar_t letter = 0;                  // the short form's letter, or 0
  const wchar_t* valueName = nullptr;  // kStyle: its choices, in the order of Style
  Value value = Value::kNone;
  Target target = Target::kNone;          // kOutput; with kFile, "-" is standard output
  AmountKind amount = AmountKind::kTime;  // kAmount
  uint32_t Options::*number = nullptr;    // kNumber
  bool Options::*flag = nullptr;          // set when the option is met
  Request request = Request::kRun;        // answered as soon as the option is met
  const wchar_t* unitWord = nullptr;      // kAmount: what its unit counts, in messages
  // By style: a plain amount is in the first range, one with a unit in that
  // unit's; a range up to 0 is none. A number has ranges[0][0] alone.
  Range ranges[2][2] = {};
  const wchar_t* help = L"";  // '#': the first classic range, then the musical one with a unit
};

// Every option, in the order --help lists them.
// clang-format off
const OptionRow kOptions[] = {
    {.name = L"--output", .letter = L'o', .valueName = L"FILE", .value = Value::kOutput,
     .target = Target::kFile, .help = L"save to FILE; '-' writes the song to standard output\n"
                                      L"and the log to standard error"},
    {.name = L"--output-dir", .letter = L'd', .valueName = L"DIR", .value = Value::kOutput,
     .target = Target::kFolder, .help = L"save each INPUT as DIR/its file name (several inputs)"},
    {.name = L"--style", .valueName = L"classic|musical", .value = Value::kStyle,
     .help = L"classic (default): as the window does it; musical:\n"
             L"chords together, note lengths kept, bell-shaped\n"
             L"moves, bends in cents that return, one press"},
    {.name = L"--time-shift", .valueName = L"TRACK=AMOUNT", .value = Value::kAmount,
     .amount = AmountKind::kTime, .unitWord = L"milliseconds",
     .ranges = {{{0, kMaxTimeShift, L"", L"ticks"}},
                {{0, kMaxMusicalTimeTicks, L"", L"ticks"}, {0, kMaxMusicalTimeMs, L"ms"}}},
     .help = L"move each event by up to AMOUNT ticks (#);\n"
             L"musical: each note, also in ms (#)"},
    {.name = L"--pitch-shift", .valueName = L"TRACK=AMOUNT", .value = Value::kAmount,
     .amount = AmountKind::kPitch, .unitWord = L"cents",
     .ranges = {{{0, kMaxPitchShift, L"", L"bend steps"}}, {{0, kMaxPitchCents, L"c", L"cents"}}},
     .help = L"bend each note by up to AMOUNT steps (#);\n"
             L"musical: in cents of the file's bend range (#)"},
    // The help ends with what the three amount options share.
    {.name = L"--velocity-shift", .valueName = L"TRACK=AMOUNT", .value = Value::kAmount,
     .amount = AmountKind::kVelocity,
     .ranges = {{{0, kMaxVelocityShift}}, {{0, kMaxVelocityShift}}},
     .help = L"move each note's velocity by up to AMOUNT (#)\n"
             L"TRACK: 1 up to the file's track count, or 'all';\n"
             L"the options repeat, a later one for the same track\n"
             L"wins; 0 is off"},
    {.name = L"--presses", .valueName = L"N", .value = Value::kNumber, .number = &Options::presses,
     .flag = &Options::hasPresses, .ranges = {{{1, kMaxPresses}}},
     .help = L"press Transform N times (#, default 1; classic)"},
    {.name = L"--seed", .valueName = L"S", .value = Value::kNumber, .number = &Options::seed,
     .flag = &Options::hasSeed, .ranges = {{{0, UINT32_MAX}}},
     .help = L"start the random sequence at S (#): the\n"
             L"same S gives the same bytes; without it a seed is\n"
             L"drawn, and either way it is logged as 'Seed S'"},
    {.name = L"--list", .flag = &Options::list,
     .help = L"show each track's name, channels and notes; without\n"
             L"-o or -d nothing is pressed or saved"},
    {.name = L"--help", .letter = L'h', .request = Request::kHelp, .help = L"show this help"},
    {.name = L"--version", .request = Request::kVersion, .help = L"show the version"},
};
// clang-format on

const wchar_t kUsageHead[] =
    L"Usage: varnook-cli [OPTIONS] INPUT [-o OUTPUT]\n"
    L"       varnook-cli [OPTIONS] INPUT... -d DIR\n"
    L"       varnook-cli --list INPUT...\n"
    L"Humanises Standard MIDI Files: moves events in time and bends notes by small\n"
    L"random amounts, track by track, and saves the result. The log goes to standard\n"
    L"output. Without -o or -d nothing is saved: the input is read (and, with\n"
    L"amounts, humanised in memory) and the log shows what would happen.\n\n";

const wchar_t kUsageTail[] =
    L"\nINPUT '-' reads the song from standard input. Every value can also be given as\n"
    L"--name=VALUE (-oFILE, -dDIR); '--' ends the options. A file is saved through a\n"
    L"new file beside it, which then takes its place; a link is followed, a device or\n"
    L"FIFO is written directly; a read-only file is refused.\n"
    L"Exit status: 0 done; 1 an input could not be read or has no track (or lacks a\n"
    L"track named in an amount, with several inputs), or an output could not be\n"
    L"written; 2 a usage error (nothing was done).\n";

constexpr size_t kHelpColumn = 27;  // where help lines start, below an option too wide

// The range of `style` a plain amount is in (the first), or the one with a unit; nullptr if none.
const Range* rangeFor(const OptionRow& row, int style, bool unit) {
  for (const Range& range : row.ranges[style]) {
    if (!unit || *range.suffix != L'\0') return &range;
  }
  return nullptr;
}

std::wstring rangeText(const Range& range, const wchar_t* between) {
  return std::to_wstring(range.low) + range.suffix + between + std::to_wstring(range.high) +
         range.suffix;
}

// Every range of `style`, as a message says them: "0 to 200 (ticks) or 0ms to 200ms".
std::wstring rangesSaid(const OptionRow& row, int style) {
  std::wstring said;
  for (const Range& range : row.ranges[style]) {
    if (range.high == 0) continue;
    said += (said.empty() ? L"" : L" or ") + rangeText(range, L" to ");
    if (range.name != nullptr) said += L" (" + std::wstring(range.name) + L")";
  }
  return said;
}

// A decimal number of at most `limit`, digits only.
bool parseNumber(const std::wstring& text, uint64_t limit, uint64_t& value) {
  if (text.empty() || text.size() > 10 ||
      text.find_first_not_of(L"0123456789") != std::wstring::npos) {
    return false;
  }
  value = std::stoull(text);
  return value <= limit;
}

// TRACK=AMOUNT, TRACK a number from 1 or "all", AMOUNT a whole number, with its
// unit after it if any; checkAmounts holds it to the style once all is read.
std::wstring addAmount(const OptionRow& row, const std::wstring& given, const std::wstring& text,
                       Options& options) {
  const size_t equals = text.find(L'=');
  if (equals == std::wstring::npos) return given + L" wants TRACK=AMOUNT, got '" + text + L"'";
  const std::wstring track = text.substr(0, equals);
  std::wstring amount = text.substr(equals + 1);
  AmountSetting setting{.kind = row.amount, .text = given + L" " + text};
  const Range* unit = rangeFor(row, kMusical, true);
  setting.unit = unit != nullptr && amount.ends_with(unit->suffix);  // "ms" alone fails as ""
  if (setting.unit) amount.erase(amount.rfind(unit->suffix));
  uint64_t number = 0;
  if (track != L"all" && (!parseNumber(track, INT32_MAX, number) || number < 1)) {
    return given + L": track must be a number from 1 or 'all', got '" + track + L"'";
  }
  setting.track = static_cast<int>(number);
  if (!parseNumber(amount, INT32_MAX, number)) {
    return given + L": amount must be a whole number, got '" + text.substr(equals + 1) + L"'";
  }
  setting.amount = static_cast<int>(number);
  options.amounts.push_back(setting);
  return L"";
}

// Takes one option's value (empty for a flag) into `options`: "" when it is
// acceptable, else what is wrong. `given` is the name as typed.
std::wstring takeValue(const OptionRow& row, const std::wstring& given, const NativeString& raw,
                       Options& options) {
  const std::wstring value = toWide(raw);
  const std::wstring got = L", got '" + value + L"'";
  if (row.flag != nullptr) options.*row.flag = true;
  uint64_t number = 0;
  switch (row.value) {
    case Value::kNone:
      break;
    case Value::kOutput:
      if (options.target != Target::kNone) return L"only one of -o and -d, once";
      if (value.empty()) return given + L" needs a non-empty value";
      options.target =
          row.target == Target::kFile && value == L"-" ? Target::kStandardOutput : row.target;
      options.output = raw;
      break;
    case Value::kStyle: {
      const std::wstring choices = row.valueName;
      const size_t at = (L"|" + choices + L"|").find(L"|" + value + L"|");
      if (at != std::wstring::npos && value.find(L'|') == std::wstring::npos) {
        options.style = static_cast<Style>(std::count(choices.begin(), choices.begin() + at, L'|'));
        break;
      }
      std::wstring said = L"'";
      for (wchar_t c : choices) said += c == L'|' ? std::wstring(L"' or '") : std::wstring(1, c);
      return given + L" must be " + said + L"'" + got;
    }
    case Value::kAmount:
      return addAmount(row, given, value, options);
    case Value::kNumber:
      if (!parseNumber(value, row.ranges[0][0].high, number) || number < row.ranges[0][0].low) {
        return given + L" must be a whole number from " + rangesSaid(row, 0) + got;
      }
      options.*row.number = static_cast<uint32_t>(number);
      break;
  }
  return L"";
}

// What the amounts must be in the style chosen: "" when they will do.
std::wstring checkAmounts(const Options& options) {
  const int style = static_cast<int>(options.style);
  for (const AmountSetting& a : options.amounts) {
    const OptionRow& row = *std::find_if(std::begin(kOptions), std::end(kOptions), [&](auto& r) {
      return r.value == Value::kAmount && r.amount == a.kind;  // each kind has its row
    });
    const Range* range = rangeFor(row, style, a.unit);
    if (range == nullptr) {  // units are the musical style's alone
      return a.text + L": " + row.unitWord + L" need --style musical (the classic style counts " +
             row.ranges[kClassic][0].name + L")";
    }
    if (static_cast<uint32_t>(a.amount) > range->high) {
      return a.text + L": amount must be " + rangesSaid(row, style);
    }
  }
  if (options.hasPresses && options.amounts.empty()) {
    return L"--presses needs --time-shift, --pitch-shift or --velocity-shift";
  }
  if (options.hasPresses && options.style == Style::kMusical) {
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
  const NativeString standardInput(1, '-');
  if (options.target != Target::kFolder) {
    const bool twice = std::ranges::count(options.inputs, standardInput) > 1;
    return twice ? L"standard input can be read only once" : L"";
  }
  std::vector<NativeString> names;
  for (const NativeString& input : options.inputs) {
    if (input == standardInput) {
      return L"standard input has no file name to save under in " + toWide(options.output) +
             L": use -o";
    }
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
    const OptionRow* row = nullptr;
    for (const OptionRow& r : kOptions) {
      if (given == r.name || (r.letter != 0 && given == std::wstring{L'-', r.letter})) row = &r;
    }
    // The name and the letter are ASCII, as long in the native form as in the
    // wide one: the value is cut from the native argument, as given (the wide
    // one may hold U+FFFD for bytes that are not UTF-8).
    const bool attached = isLong ? equals != std::wstring::npos : arg.size() > 2;
    const bool takesValue = row != nullptr && row->value != Value::kNone;
    if (row == nullptr || (attached && !isLong && !takesValue)) {
      line.error = L"unknown option '" + arg + L"'";
    } else if (attached && !takesValue) {
      line.error = given + L" takes no value";
    } else if (takesValue && !attached && i + 1 == args.size()) {
      line.error = given + L" needs a value";
    } else if (row->request != Request::kRun) {
      line.request = row->request;
    } else {
      const NativeString value = attached     ? args[i].substr(isLong ? equals + 1 : 2)
                                 : takesValue ? args[++i]
                                              : NativeString();
      line.error = takeValue(*row, given, value, line.options);
    }
    if (!line.error.empty() || line.request != Request::kRun) return line;
  }

  for (const NativeString& input : inputs) {
    std::vector<NativeString> files{input};
    if (expand != nullptr && toWide(input) != L"-" && !expand(input, files, line.error)) {
      line.notUsage = true;
      return line;
    }
    line.options.inputs.insert(line.options.inputs.end(), files.begin(), files.end());
  }
  line.error = checkAmounts(line.options);
  if (line.error.empty()) line.error = checkInputs(line.options);
  return line;
}

std::wstring usageText() {
  const std::wstring indent(kHelpColumn, L' ');
  std::wstring text = kUsageHead;
  for (const OptionRow& row : kOptions) {
    std::wstring left = row.letter == 0 ? L"      " : std::wstring(L"  -") + row.letter + L", ";
    left += row.name + (row.valueName == nullptr ? L"" : L" " + std::wstring(row.valueName));
    text += left + (left.size() + 2 > kHelpColumn ? L"\n" + indent
                                                  : std::wstring(kHelpColumn - left.size(), L' '));
    const Range* shown[] = {&row.ranges[kClassic][0], rangeFor(row, kMusical, true)};
    size_t next = 0;
    for (const wchar_t* c = row.help; *c != L'\0'; ++c) {
      text += *c == L'#'    ? rangeText(*shown[next++], L"-")
              : *c == L'\n' ? L"\n" + indent
                            : std::wstring(1, *c);
    }
    text += L"\n";
  }
  return text + kUsageTail;
}
