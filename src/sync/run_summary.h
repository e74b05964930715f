// The counts behind the run summary: what the pass did (in virtual mode, what it would have
// done), counted where each log line is decided, whether or not the line is written.
#pragma once

#include <cstdint>

#include "scan/listing.h"

struct RunSummary {
  unsigned long Added, Updated, Deleted, DirectoriesDeleted, Equal, Ignored;
  uint64_t BytesCopied;
  uint64_t SourceEntries, DestinationEntries;  // listed so far, for the progress line
  int64_t StartCount;  // the performance counter when the run began
};
extern RunSummary Summary;

// An add or update decided: counted, and in virtual mode its bytes as if copied.
void CountCopyDecided(unsigned long& counter, const DirectoryEntry& source);
// A copy that succeeded: its bytes.
void CountCopyDone(const DirectoryEntry& source);
void StartRunSummary();
// Under --progress, the status line with these counts and the directory being walked, when due.
void ShowProgress(const wchar_t* directory);
// Under log-summary, the run's last line: the counts, the reports written on the standard
// error, the bytes copied and the seconds since StartRunSummary.
void WriteRunSummary();
