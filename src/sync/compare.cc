#include "sync/compare.h"

#include <cstring>

#include "cli/options.h"
#include "cli/run.h"
#include "output/console.h"

namespace {

const uint64_t kTicksPerSecond = 10000000;
const DWORD kBlockSize = 4096;

uint64_t TimeValue(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

HANDLE OpenForComparison(const wchar_t* path) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

}  // namespace

uint64_t NormalizedWriteTime(bool onFat, const DirectoryEntry& entry) {
  if (!onFat)
    return TimeValue(entry.ftLastWriteTime);
  FILETIME utc;
  LocalFileTimeToFileTime(&entry.ftLastWriteTime, &utc);
  return TimeValue(utc);
}

bool CompareContents(const wchar_t* sourceFile, const wchar_t* destinationFile) {
  if (OptionSet(kLogCompareContents))
    WriteLogLine(L"comparing", destinationFile);
  HANDLE source = OpenForComparison(sourceFile);
  if (source == INVALID_HANDLE_VALUE)
    return false;
  HANDLE destination = OpenForComparison(destinationFile);
  if (destination == INVALID_HANDLE_VALUE) {
    CloseHandle(source);
    return false;
  }
  unsigned char sourceBlock[kBlockSize];
  unsigned char destinationBlock[kBlockSize];
  bool equal;
  for (;;) {
    DWORD sourceCount = 0, destinationCount = 0;
    // A failed read is a difference: it must never pass for the end of both files.
    if (!ReadFile(source, sourceBlock, kBlockSize, &sourceCount, nullptr) ||
        !ReadFile(destination, destinationBlock, kBlockSize, &destinationCount, nullptr) ||
        sourceCount != destinationCount) {
      equal = false;
      break;
    }
    if (sourceCount == 0) {
      equal = true;
      break;
    }
    if (std::memcmp(sourceBlock, destinationBlock, sourceCount) != 0) {
      equal = false;
      break;
    }
  }
  CloseHandle(destination);
  CloseHandle(source);
  return equal;
}

bool CompareFiles(const wchar_t* sourceFile, const wchar_t* destinationFile,
                  const DirectoryEntry& source, const DirectoryEntry& destination,
                  bool& timesEqual) {
  timesEqual = true;
  if (OptionSet(kCompareSize) && (source.nFileSizeLow != destination.nFileSizeLow ||
                                  source.nFileSizeHigh != destination.nFileSizeHigh)) {
    return false;
  }
  if (OptionSet(kCompareArchive) && (source.dwFileAttributes & FILE_ATTRIBUTE_ARCHIVE)) {
    return false;
  }

  uint64_t s = NormalizedWriteTime(SourceOnFat, source);
  uint64_t d =
      NormalizedWriteTime(DestinationOnFat, destination) + static_cast<uint64_t>(TimeShiftTicks);
  uint64_t seconds = (s > d ? s - d : d - s) / kTicksPerSecond;
  if (OptionSet(kLogTimeDiff)) {
    if (seconds == 0) {
      WriteOutput(L"%-12s%s\n", L"same time", destinationFile);
    } else {
      WriteOutput(L"%s more recent by %lu second(s)   %s\n", d > s ? L"dest" : L"source",
                  static_cast<DWORD>(seconds), destinationFile);
    }
  }
  timesEqual = seconds <= static_cast<uint64_t>(OptionValue(kTimePrecision));

  bool timeCompareContents = OptionSet(kTimeCompareContents);
  if (OptionSet(kCompareTime) && !timesEqual && !timeCompareContents)
    return false;
  if (!OptionSet(kCompareContents) && (timesEqual || !timeCompareContents))
    return true;
  return CompareContents(sourceFile, destinationFile);
}
