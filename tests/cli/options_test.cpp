// The command line, parsed: argument lists in, Options or the first error out.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "platform/utf8.h"

namespace {

// Arguments from one string split at blanks (the cases hold no quoted blanks).
std::vector<NativeString> argsOf(const std::string& line) {
  std::vector<NativeString> args;
  std::istringstream words(line);
  for (std::string word; words >> word;) args.emplace_back(word.begin(), word.end());
  return args;
}

std::wstring joined(const std::vector<NativeString>& inputs) {
  std::wstring text;
  for (const NativeString& input : inputs) text += (text.empty() ? L"" : L",") + toWide(input);
  return text;
}

// What a parse gave, in a few words: the inputs, where the output goes, each
// amount (track 0 is all), presses, seed, list; or the request or the error.
std::wstring summary(const CommandLine& line) {
  if (!line.error.empty()) return L"error: " + line.error;
  if (line.request == Request::kHelp) return L"help";
  if (line.request == Request::kVersion) return L"version";
  const Options& o = line.options;
  std::wstring text = L"in=" + joined(o.inputs);
  const wchar_t* targets[] = {L"", L" file=", L" stdout", L" folder="};
  text += targets[static_cast<int>(o.target)];
  if (o.target == Target::kFile || o.target == Target::kFolder) text += toWide(o.output);
  if (o.style == Style::kMusical) text += L" musical";
  const wchar_t* kinds[] = {L" time", L" pitch", L" velocity"};
  for (const AmountSetting& a : o.amounts) {
    text += kinds[static_cast<int>(a.kind)] + std::to_wstring(a.track) + L"=" +
            std::to_wstring(a.amount) + (a.unit ? L"u" : L"");
  }
  if (o.hasPresses) text += L" presses=" + std::to_wstring(o.presses);
  if (o.hasSeed) text += L" seed=" + std::to_wstring(o.seed);
  if (o.list) text += L" list";
  return text;
}

struct ParseCase {
  const char* args;
  const wchar_t* want;  // the summary, or the start of "error: ..."
};

const ParseCase kCases[] = {
    // Where the song goes, every way of giving a value.
    {"one.mid -o copy.mid", L"in=one.mid file=copy.mid"},
    {"-ocopy.mid one.mid", L"in=one.mid file=copy.mid"},  // -d takes its value alike
    {"--output=copy.mid one.mid", L"in=one.mid file=copy.mid"},
    {"--output=a=b.mid one.mid", L"in=one.mid file=a=b.mid"},
    {"one.mid -o -", L"in=one.mid stdout"},
    {"- -o copy.mid", L"in=- file=copy.mid"},
    {"a.mid b.mid -d out", L"in=a.mid,b.mid folder=out"},
    {"--list -- -o --list", L"in=-o,--list list"},
    // Amounts, presses, seed, at their limits.
    {"one.mid --time-shift 2=30 --pitch-shift=all=10 --presses 3 --seed 4294967295",
     L"in=one.mid time2=30 pitch0=10 presses=3 seed=4294967295"},
    {"one.mid --time-shift 1=200 --pitch-shift 16=64 --time-shift all=0",
     L"in=one.mid time1=200 pitch16=64 time0=0"},
    {"one.mid --presses=100 --time-shift 1=1 --seed 0", L"in=one.mid time1=1 presses=100 seed=0"},
    {"one.mid --velocity-shift 70=64 --time-shift 17=5", L"in=one.mid velocity70=64 time17=5"},
    {"one.mid --style musical --time-shift 2=200ms --pitch-shift=all=100c --style=musical",
     L"in=one.mid musical time2=200u pitch0=100u"},
    {"one.mid --style musical --time-shift 2=200 --pitch-shift 1=100",
     L"in=one.mid musical time2=200 pitch1=100"},
    // Help and version answer as soon as they are met.
    {"--help --bogus", L"help"},
    {"x.mid --version -o", L"version"},
    // Usage errors: the first one is reported.
    {"", L"error: no input file given"},
    {"--bogus a.mid", L"error: unknown option '--bogus'"},
    {"-hx a.mid", L"error: unknown option '-hx'"},
    {"--list=yes a.mid", L"error: --list takes no value"},
    {"a.mid -o", L"error: -o needs a value"},
    {"a.mid --output=", L"error: --output needs a non-empty value"},
    {"a.mid -o x.mid -d y", L"error: only one of -o and -d, once"},
    {"a.mid b.mid", L"error: several inputs need -d DIR"},
    {"a.mid --time-shift 1=201", L"error: --time-shift 1=201: amount must be 0 to 200 (ticks)"},
    {"a.mid --pitch-shift 1=65", L"error: --pitch-shift 1=65: amount must be 0 to 64 (bend steps)"},
    {"a.mid --velocity-shift 1=65", L"error: --velocity-shift 1=65: amount must be 0 to 64"},
    {"a.mid --style musical --time-shift 1=201ms",
     L"error: --time-shift 1=201ms: amount must be 0 to 200"},
    {"a.mid --pitch-shift 1=101c --style musical",
     L"error: --pitch-shift 1=101c: amount must be 0c to 100c"},
    {"a.mid --time-shift 1=5ms", L"error: --time-shift 1=5ms: milliseconds need --style musical"},
    {"a.mid --pitch-shift 1=5c", L"error: --pitch-shift 1=5c: cents need --style musical"},
    {"a.mid --time-shift 1=5c", L"error: --time-shift: amount must be a whole number, got '5c'"},
    {"a.mid --style jazz", L"error: --style must be 'classic' or 'musical', got 'jazz'"},
    {"a.mid --style musical --presses 2 --time-shift 1=5",
     L"error: --presses does not go with --style musical"},
    {"a.mid --time-shift 0=5", L"error: --time-shift: track must be a number from 1 or 'all', got '0'"},
    {"a.mid --time-shift 5", L"error: --time-shift wants TRACK=AMOUNT, got '5'"},
    {"a.mid --presses 3",
     L"error: --presses needs --time-shift, --pitch-shift or --velocity-shift"},
    {"a.mid --presses 101 --time-shift 1=1", L"error: --presses must be a whole number from 1 to 100"},
    {"a.mid --seed 4294967296", L"error: --seed must be a whole number from 0 to 4294967295"},
    {"- -d out", L"error: standard input has no file name to save under in out: use -o"},
    {"- - --list", L"error: standard input can be read only once"},
    {"x/a.mid y/a.mid -d out", L"error: two inputs would be saved as one file"},
    {"x/ -d out", L"error: 'x/' has no file name to save under"},
};

TEST(CommandLine, ParsesEachFormOrNamesTheFirstError) {
  for (const ParseCase& c : kCases) {
    SCOPED_TRACE(c.args);
    const std::wstring got = summary(parseCommandLine(argsOf(c.args)));
    EXPECT_EQ(got.substr(0, std::wstring(c.want).size()), c.want) << "whole: " << toUtf8(got);
  }
}

TEST(CommandLine, OutputNamesClashAsTheSystemComparesThem) {
  // Windows file names ignore case and trailing dots and spaces; POSIX ones
  // are bytes, and only the same bytes clash.
#ifdef _WIN32
  const bool windows = true;
#else
  const bool windows = false;
#endif
  const struct {
    const char* first;
    const char* second;
    bool clash;
  } kNames[] = {
      {"song.mid", "song.mid", true},       {"Song.mid", "song.MID", windows},
      {"song.mid", "song.mid..", windows},  {"song.mid", "song.mid. .", windows},
      {"song.mid", "song.midi", false},     {"song.mid", ".song.mid", false},
  };
  for (const auto& n : kNames) {
    SCOPED_TRACE(std::string(n.first) + " / " + n.second);
    std::vector<NativeString> args = argsOf(std::string(n.first) + " -d out");
    const std::string second = std::string("y/") + n.second;  // may end in a blank
    args.emplace_back(second.begin(), second.end());
    EXPECT_EQ(!parseCommandLine(args).error.empty(), n.clash);
  }
}

// Stands in for the system's wildcard expansion.
bool fakeExpand(const NativeString& argument, std::vector<NativeString>& files,
                std::wstring& error) {
  if (toWide(argument) == L"*.xyz") {
    error = L"*.xyz: no file matches";
    return false;
  }
  files = toWide(argument) == L"*.mid" ? argsOf("a.mid b.mid") : std::vector{argument};
  return true;
}

TEST(CommandLine, ChecksTheInputsAsExpanded) {
  EXPECT_EQ(summary(parseCommandLine(argsOf("*.mid c.mid -d out"), fakeExpand)),
            L"in=a.mid,b.mid,c.mid folder=out");
  EXPECT_EQ(summary(parseCommandLine(argsOf("*.mid -o one.mid"), fakeExpand)).substr(0, 36),
            L"error: several inputs need -d DIR (o");
  EXPECT_EQ(summary(parseCommandLine(argsOf("*.mid a.mid -d out"), fakeExpand)).substr(0, 46),
            L"error: two inputs would be saved as one file: ");
  // Standard input is never expanded.
  EXPECT_EQ(summary(parseCommandLine(argsOf("- -o x.mid"), fakeExpand)), L"in=- file=x.mid");
  const CommandLine none = parseCommandLine(argsOf("a.mid *.xyz -d out"), fakeExpand);
  EXPECT_EQ(none.error, L"*.xyz: no file matches");
  EXPECT_TRUE(none.notUsage);
}

}  // namespace
