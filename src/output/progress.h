// The status line of --progress: one line on the standard error, rewritten in place while the
// run lasts, only where the standard error is a terminal (a console on Windows). It is cleared
// before any other text reaches that terminal and at the end, so the log reads as without it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/system.h"

struct ProgressCounts {
  uint64_t SourceEntries, DestinationEntries;
  unsigned long Added, Updated, Deleted;
  uint64_t BytesCopied;
};

// Decides, as the run starts, whether the line is shown at all.
void StartProgress();
// True when the line is shown and its last writing is a tenth of a second old or more.
bool ProgressDue();
// The line's text for a terminal of the given width: the counts, the bytes copied and the rate,
// then the directory, shortened in the middle so that the whole stays below the width.
std::wstring FormatProgressLine(const ProgressCounts& counts, double seconds,
                                const wchar_t* directory, int columns);
void WriteProgressLine(const ProgressCounts& counts, const wchar_t* directory);
// Clears the line, if it is on the screen, before text is written to handle: the standard error,
// or the standard output when that is a terminal too. Null: at the end of the run.
void ClearProgressLine(ConsoleStream stream);
