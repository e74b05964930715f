#include "sync/run_summary.h"

#include <string>

#include "settings/options.h"
#include "output/console.h"
#include "output/progress.h"

RunSummary Summary = {};

namespace {
uint64_t EntrySize(const DirectoryEntry& entry) {
  return (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
}
}  // namespace

void CountCopy(unsigned long& counter, const DirectoryEntry& source) {
  counter++;
  Summary.BytesCopied += EntrySize(source);
}

void StartRunSummary() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  Summary.StartCount = now.QuadPart;
}

void ShowProgress(const wchar_t* directory) {
  if (!ProgressDue())
    return;
  WriteProgressLine(
      {Summary.SourceEntries, Summary.DestinationEntries, Summary.Added, Summary.Updated,
       Summary.Deleted + Summary.DirectoriesDeleted, Summary.BytesCopied},
      directory);
}

void WriteRunSummary() {
  if (!OptionSet(kLogSummary))
    return;
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  // Tenths of a second, rounded; the numbers as text, since the formatter takes 32 bits only.
  uint64_t tenths = static_cast<uint64_t>(now.QuadPart - Summary.StartCount) * 10;
  uint64_t perSecond = static_cast<uint64_t>(frequency.QuadPart);
  tenths = (tenths + perSecond / 2) / perSecond;
  std::wstring seconds = std::to_wstring(tenths / 10) + L"." + std::to_wstring(tenths % 10);
  WriteOutput(
      L"Summary: %s added, %s updated, %s deleted, %s directories deleted, %s equal, %s ignored, "
      L"%s failed; %s bytes copied in %s seconds\n",
      std::to_wstring(Summary.Added).c_str(), std::to_wstring(Summary.Updated).c_str(),
      std::to_wstring(Summary.Deleted).c_str(), std::to_wstring(Summary.DirectoriesDeleted).c_str(),
      std::to_wstring(Summary.Equal).c_str(), std::to_wstring(Summary.Ignored).c_str(),
      std::to_wstring(ErrorReportCount).c_str(), std::to_wstring(Summary.BytesCopied).c_str(),
      seconds.c_str());
}
