#include "sync/run_summary.h"

#include <string>

#include "settings/options.h"
#include "output/console.h"
#include "output/progress.h"

void CountCopy(RunSummary& summary, unsigned long& counter, const DirectoryEntry& source) {
  counter++;
  summary.BytesCopied += EntrySize(source);
}

void StartRunSummary(RunSummary& summary) {
  summary.StartTime = SteadyNanoseconds();
}

void ShowProgress(const RunSummary& summary, const std::wstring& directory) {
  if (!ProgressDue())
    return;
  WriteProgressLine(
      {summary.SourceEntries, summary.DestinationEntries, summary.Added, summary.Updated,
       summary.Deleted + summary.DirectoriesDeleted, summary.BytesCopied},
      directory.c_str());
}

void WriteRunSummary(const RunSummary& summary) {
  if (!OptionSet(kLogSummary))
    return;
  // Tenths of a second, rounded; the numbers as text, since the formatter takes 32 bits only.
  uint64_t tenths =
      (static_cast<uint64_t>(SteadyNanoseconds() - summary.StartTime) + 50000000) / 100000000;
  std::wstring seconds = std::to_wstring(tenths / 10) + L"." + std::to_wstring(tenths % 10);
  WriteOutput(
      L"Summary: %s added, %s updated, %s deleted, %s directories deleted, %s equal, %s ignored, "
      L"%s failed; %s bytes copied in %s seconds\n",
      std::to_wstring(summary.Added).c_str(), std::to_wstring(summary.Updated).c_str(),
      std::to_wstring(summary.Deleted).c_str(), std::to_wstring(summary.DirectoriesDeleted).c_str(),
      std::to_wstring(summary.Equal).c_str(), std::to_wstring(summary.Ignored).c_str(),
      std::to_wstring(ErrorReportCount).c_str(), std::to_wstring(summary.BytesCopied).c_str(),
      seconds.c_str());
}
