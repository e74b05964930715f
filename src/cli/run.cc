#include "cli/run.h"

#include <algorithm>
#include <string>
#include <thread>

#include "settings/options.h"
#include "output/console.h"
#include "output/progress.h"
#include "cli/command_line.h"
#include "sync/directory_pass.h"
#include "sync/walk_guard.h"
#include "sync/run_summary.h"
#include "sync/workers.h"

bool IsFatFileSystemName(const wchar_t* name) {
  wchar_t prefix[4];
  int i = 0;
  for (; i < 3 && name[i] != 0; i++) prefix[i] = name[i];
  prefix[i] = 0;
  return CompareIgnoringCase(prefix, L"FAT") == 0;
}

bool IsOnFatVolume(const OpenDirectory& directory) {
  std::wstring name;
  return OptionSet(kTimeShiftFat) && FileSystemNameOf(directory, &name) &&
         IsFatFileSystemName(name.c_str());
}

void DeriveSettings() {
  if (OptionValue(kTimePrecision) < 0)
    OptionTable[kTimePrecision].Value = 0;
  if (OptionSet(kTimeCompareContents))
    OptionTable[kCompareTime].Value = 1;
  if (OptionSet(kCompareContents) || OptionSet(kTimeCompareContents)) {
    OptionTable[kCompareSize].Value = 1;
  }
  TimeShiftTicks = static_cast<int64_t>(OptionValue(kTimeShift)) * 10000000;
  // Threads: 0 (or less) means one per processor, at most 8; never more than 64.
  int threads = OptionValue(kThreads);
  if (threads <= 0)
    threads = std::min(static_cast<int>(std::thread::hardware_concurrency()), 8);
  OptionTable[kThreads].Value = std::clamp(threads, 1, 64);
}

namespace {

// Under max-delete, a first pass decides everything without acting and without writing on
// either stream, and counts the "delete" and "delete dir" decisions. False, with the error
// written, when they are more than the limit; the run then stops before its header.
bool DeletionsWithinLimit(Pass& pass) {
  const int limit = OptionValue(kMaxDelete);
  if (limit <= 0)
    return true;
  const ConsoleStream output = OutputStream, error = ErrorStream;
  const unsigned long reports = ErrorReportCount;
  const int virtualRun = OptionValue(kVirtual);
  OutputStream = ErrorStream = kNoStream;
  OptionTable[kVirtual].Value = 1;
  ProcessDirectoryPair(pass);
  OutputStream = output, ErrorStream = error;
  ErrorReportCount = reports;
  OptionTable[kVirtual].Value = virtualRun;
  const unsigned long deletions = pass.Summary.Deleted + pass.Summary.DirectoriesDeleted;
  pass.Summary = {};
  if (deletions <= static_cast<unsigned long>(limit))
    return true;
  WriteError(
      L"Error: the run would delete %s entries, more than --max-delete=%s allows; "
      L"nothing was changed.\n",
      std::to_wstring(deletions).c_str(), std::to_wstring(limit).c_str());
  return false;
}

// The pass itself: the header, the walk, the summary.
void RunPass(Pass& pass) {
  StartRunSummary(pass.Summary);
  StartProgress();
  if (OptionSet(kLogHeader)) {
    WriteOutput(L"\nTandreling directory: %s\nto directory: %s\n", pass.Source.Path.c_str(),
                pass.Destination.Path.c_str());
  }
  ProcessDirectoryPair(pass);
  WriteRunSummary(pass.Summary);
  ClearProgressLine(kErrorStream);
}
}  // namespace

void PrepareRun() {
  Pass pass;
  pass.Source.Path = SourceArgument;
  pass.Destination.Path = DestinationArgument;
  if (!CheckRoots(pass))
    return;
  SourceOnFat = IsOnFatVolume(pass.Source.Directory());
  DestinationOnFat = IsOnFatVolume(pass.Destination.Directory());
  DeriveSettings();
  KeepExtendedAttributes(OptionSet(kXattrs));
  StartWorkers(OptionValue(kThreads));
  if (DeletionsWithinLimit(pass))
    RunPass(pass);
  StopWorkers();
}
