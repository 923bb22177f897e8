#include "transform/press_summary.h"

#include <cmath>

std::wstring counted(int64_t count, const wchar_t* one, const wchar_t* many) {
  return std::to_wstring(count) + L" " + (count == 1 ? one : many);
}

namespace {

// Tenths of a millisecond are as fine as anyone hears.
std::wstring milliseconds(double ms) {
  const long tenths = std::lround(ms * 10);
  return std::to_wstring(tenths / 10) + L"." + std::to_wstring(tenths % 10) + L" ms";
}

}  // namespace

std::wstring pressSummaryLine(int32_t number, const SummaryAmounts& amounts,
                              const PressSummary& s) {
  std::wstring parts;
  auto add = [&parts](const std::wstring& part) { parts += (parts.empty() ? L" " : L"; ") + part; };
  if (amounts.time && amounts.musical) {
    add(L"time shift moved " + std::to_wstring(s.moved) + L" of " +
        counted(s.notes, L"note", L"notes") + L", at most " +
        counted(s.largestMoveTicks, L"tick", L"ticks") + L" (" + milliseconds(s.largestMoveMs) +
        L")");
  } else if (amounts.time) {
    add(L"time shift moved " + counted(s.moved, L"event", L"events") + L", at most " +
        counted(s.largestMoveTicks, L"tick", L"ticks"));
  }
  if (amounts.pitch && amounts.musical) {
    add(L"pitch shift added " + counted(s.bendsAdded, L"bend", L"bends") + L" (" +
        counted(s.notesBent, L"note", L"notes") + L" bent, " + std::to_wstring(s.notesHeld) +
        L" left as their channel was held)");
  } else if (amounts.pitch) {
    add(L"pitch shift added " + counted(s.bendsAdded, L"bend", L"bends"));
  }
  if (amounts.velocity) {
    add(L"velocity shift changed " + counted(s.velocitiesChanged, L"note", L"notes"));
  }
  return parts.empty() ? parts : L"Track " + std::to_wstring(number) + L":" + parts;
}
