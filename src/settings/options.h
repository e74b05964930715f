// The settings every subsystem reads: the option table, filled from the command line, and what
// the run preparation derives from it.
#pragma once

#include <cstdint>

#include "platform/system.h"

struct OptionEntry {
  const wchar_t* LongName;   // the name after "--"
  const wchar_t* ShortName;  // the name after "-"
  bool Numeric;              // false for a yes/no option, true for a number option
  int Value;                 // yes/no options hold 0 or 1; number options any 32-bit value
};

// Rows of the option table, in its fixed order.
enum OptionRow {
  kVirtual,
  kUnsetArchive,
  kNoRecurse,
  kNoJunctions,
  kNoDelete,
  kMaxDelete,
  kNoAdd,
  kNoUpdate,
  kNoMeta,
  kCompareTime,
  kCompareSize,
  kCompareArchive,
  kCompareContents,
  kTimeCompareContents,
  kTimeShiftFat,
  kTimePrecision,
  kTimeShift,
  kTimeMeta,
  kLogHeader,
  kLogChanges,
  kLogEqual,
  kLogIgnored,
  kLogCompareContents,
  kLogTimeDiff,
  kLogMeta,
  kLogDirectories,
  kLogSummary,
  kLogList,
  kLogOem,
  kProgress,
  kLongPaths,
  kDirectoryTimes,
  kHardLinks,
  kXattrs,
  kSymlinks,
  kThreads,
  kOptionCount
};

extern OptionEntry OptionTable[kOptionCount];

// The value of an option's row, read at the moment it matters.
inline int OptionValue(OptionRow row) {
  return OptionTable[row].Value;
}
inline bool OptionSet(OptionRow row) {
  return OptionTable[row].Value != 0;
}

// Puts every row back to its default (a new process starts with them).
void RestoreDefaultOptions();

// Settings the run preparation derives once, before the pass: whether each root lies on a FAT
// volume, and the time-shift option in 100 ns units.
extern bool SourceOnFat;
extern bool DestinationOnFat;
extern int64_t TimeShiftTicks;
