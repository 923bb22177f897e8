// The command line, parsed: argument lists in, Options or the first error out.
#include "cli/options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/utf8.h"

namespace {

// Arguments from one string split at blanks (the cases hold no quoted blanks).
std::vector<NativeString> argsOf(const std::string& line) {
  std::vector<NativeString> args;
  std::istringstream words(line);
  for (std::string word; words >> word;) args.emplace_back(word.begin(), word.end());
  return args;
}

// Stands in for the system's wildcard expansion: *.mid is a.mid b.mid, *.xyz matches nothing.
bool fakeExpand(const NativeString& argument, std::vector<NativeString>& files,
                std::wstring& error) {
  if (toWide(argument) == L"*.xyz") error = L"*.xyz: no file matches";
  files = toWide(argument) == L"*.mid" ? argsOf("a.mid b.mid") : std::vector{argument};
  return error.empty();
}

// What a parse gave, in a few words: the inputs, where the output goes, each amount (track 0 is
// all, u: in ms or cents), presses, seed, list; or the request, or the error.
std::wstring summary(const std::string& args) {
  const CommandLine line = parseCommandLine(argsOf(args), fakeExpand);
  if (!line.error.empty()) return (line.notUsage ? L"failure: " : L"") + line.error;
  if (line.request != Request::kRun) return line.request == Request::kHelp ? L"help" : L"version";
  const Options& o = line.options;
  const wchar_t* targets[] = {L"", L" file=", L" stdout", L" folder="};
  const wchar_t* kinds[] = {L" time", L" pitch", L" velocity"};
  std::wstring text = L"in=";
  for (const NativeString& input : o.inputs) text += toWide(input) + L",";
  text += targets[static_cast<int>(o.target)] +
          (o.target == Target::kStandardOutput ? L"" : toWide(o.output));
  if (o.style == Style::kMusical) text += L" musical";
  for (const AmountSetting& a : o.amounts)
    text += kinds[static_cast<int>(a.kind)] + std::to_wstring(a.track) + L"=" +
            std::to_wstring(a.amount) + (a.unit ? L"u" : L"");
  if (o.hasPresses) text += L" presses=" + std::to_wstring(o.presses);
  if (o.hasSeed) text += L" seed=" + std::to_wstring(o.seed);
  return text + (o.list ? L" list" : L"");
}

TEST(CommandLine, ParsesEachFormOrNamesTheFirstError) {
  // Arguments, and the summary or the error (or its start, before "...").
  const std::pair<const char*, const wchar_t*> cases[] = {
      {"-ocopy.mid one.mid", L"in=one.mid, file=copy.mid"},  // -d takes its value alike
      {"--output=a=b.mid one.mid", L"in=one.mid, file=a=b.mid"},
      {"- -o -", L"in=-, stdout"},
      {"*.mid c.mid -d -", L"in=a.mid,b.mid,c.mid, folder=-"},  // only -o's '-' is standard output
      {"--list -- -o --list", L"in=-o,--list, list"},
      {"one.mid --time-shift 1=200 --pitch-shift=all=64 --presses=100 --seed 4294967295",
       L"in=one.mid, time1=200 pitch0=64 presses=100 seed=4294967295"},  // each at its limit
      {"one.mid --velocity-shift 70=64 --time-shift 17=1 --presses 1",
       L"in=one.mid, velocity70=64 time17=1 presses=1"},
      {"one.mid --style musical --time-shift 2=200ms --pitch-shift=all=100c --style=musical "
       "--pitch-shift 1=100",
       L"in=one.mid, musical time2=200u pitch0=100u pitch1=100"},
      // Help and version answer as soon as they are met.
      {"--help --bogus", L"help"}, {"x.mid --version -o", L"version"},
      // Usage errors: the first one is reported.
      {"", L"no input file given"},
      {"--bogus a.mid", L"unknown option '--bogus'"},
      {"--list=yes a.mid", L"--list takes no value"},
      {"a.mid -o", L"-o needs a value"},
      {"a.mid --output=", L"--output needs a non-empty value"},
      {"a.mid -o x.mid -d y", L"only one of -o and -d, once"},
      {"*.mid -o one.mid", L"several inputs need -d DIR (or --list alone)"},
      {"a.mid --time-shift 1=201", L"--time-shift 1=201: amount must be 0 to 200 (ticks)"},
      {"a.mid --velocity-shift 1=65", L"--velocity-shift 1=65: amount must be 0 to 64"},
      {"a --style musical --time-shift 1=201ms",
       L"--time-shift 1=201ms: amount must be 0 to 200 (ticks) or 0ms to 200ms"},
      {"a.mid --pitch-shift 1=5c",
       L"--pitch-shift 1=5c: cents need --style musical (the classic style counts bend steps)"},
      {"a.mid --time-shift 1=5c", L"--time-shift: amount must be a whole number, got '5c'"},
      {"a.mid --style jazz", L"--style must be 'classic' or 'musical', got 'jazz'"},
      {"a --style musical --presses 2 --time-shift 1=5",
       L"--presses does not go with --style musical..."},
      {"a.mid --time-shift 0=5", L"--time-shift: track must be a number from 1 or 'all', got '0'"},
      {"a.mid --time-shift 5", L"--time-shift wants TRACK=AMOUNT, got '5'"},
      {"a.mid --presses 3", L"--presses needs --time-shift, --pitch-shift or --velocity-shift"},
      {"a.mid --presses 0 --time-shift 1=1", L"--presses must be a whole number from 1 to 100..."},
      {"a.mid --seed 4294967296", L"--seed must be a whole number from 0 to 4294967295, got..."},
      {"- -d out", L"standard input has no file name to save under in out: use -o"},
      {"- - --list", L"standard input can be read only once"},
      {"x/a.mid *.mid -d out", L"two inputs would be saved as one file: ..."},
#ifdef _WIN32  // where names that differ in case or in trailing dots are one file
      {"a.mid y/A.MID.. -d out", L"two inputs would be saved as one file: ..."},
#else
      {"a.mid y/A.MID.. -d out", L"in=a.mid,y/A.MID.., folder=out"},
#endif
      {"x/ -d out", L"'x/' has no file name to save under"},
      {"a.mid *.xyz -d out", L"failure: *.xyz: no file matches"},  // status 1, like no file
  };
  for (const auto& [args, whole] : cases) {
    std::wstring want = whole, got = summary(args);
    if (want.ends_with(L"...")) want.resize(want.size() - 3), got.resize(want.size());
    EXPECT_EQ(got, want) << args;
  }
}

}  // namespace
