// The counts behind the run summary: what the pass did (in virtual mode, what it would have
// done), whether or not its log lines are written; an action that failed counts only as a
// report.
#pragma once

#include <cstdint>
#include <string>

#include "scan/listing.h"

struct RunSummary {
  unsigned long Added, Updated, Deleted, DirectoriesDeleted, Equal, Ignored;
  uint64_t BytesCopied;
  uint64_t SourceEntries, DestinationEntries;  // listed so far, for the progress line
  int64_t StartTime;                           // the steady clock when the run began
};

// An add or update done (in virtual mode, decided): counted, with its bytes. A failed one counts
// among the reports alone.
void CountCopy(RunSummary& summary, unsigned long& counter, const DirectoryEntry& source);
void StartRunSummary(RunSummary& summary);
// Under --progress, the status line with these counts and the directory being walked, when due.
void ShowProgress(const RunSummary& summary, const std::wstring& directory);
// Under log-summary, the run's last line: the counts, the reports written on the standard
// error, the bytes copied and the seconds since StartRunSummary.
void WriteRunSummary(const RunSummary& summary);
