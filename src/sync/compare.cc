#include "sync/compare.h"

#include <cstring>
#include <vector>

#include "settings/options.h"
#include "output/console.h"

namespace {

const uint64_t kTicksPerSecond = 10000000;
// Large reads, so the comparison runs at the speed of the disk, not of the calls; two blocks
// still fit in a core's cache for the comparison.
const DWORD kBlockSize = 1 << 17;
const uint64_t kNoMoreData = ~uint64_t{0};

uint64_t TimeValue(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

HANDLE OpenForComparison(const wchar_t* path) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Where a file's next data lies at or after offset, as the file system tells it (kNoMoreData
// when only a hole follows); offset itself where it cannot tell.
uint64_t NextDataOffset(HANDLE file, uint64_t offset) {
  FILE_ALLOCATED_RANGE_BUFFER query, range;
  query.FileOffset.QuadPart = static_cast<LONGLONG>(offset);
  query.Length.QuadPart = static_cast<LONGLONG>((~uint64_t{0} >> 1) - offset);
  DWORD bytes = 0;
  if (!DeviceIoControl(file, FSCTL_QUERY_ALLOCATED_RANGES, &query, sizeof query, &range,
                       sizeof range, &bytes, nullptr) &&
      GetLastError() != ERROR_MORE_DATA) {
    return offset;
  }
  if (bytes < sizeof range)
    return kNoMoreData;
  uint64_t data = static_cast<uint64_t>(range.FileOffset.QuadPart);
  return data > offset ? data : offset;
}

// Moves both files past the holes they share: zeros on both sides by definition. False when
// only holes follow in both (the files are then equal up to their common size).
bool SkipSharedHoles(HANDLE source, HANDLE destination, uint64_t& offset) {
  uint64_t a = NextDataOffset(source, offset), b = NextDataOffset(destination, offset);
  uint64_t next = a < b ? a : b;
  if (next == kNoMoreData)
    return false;
  if (next > offset) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(next);
    SetFilePointerEx(source, position, nullptr, FILE_BEGIN);
    SetFilePointerEx(destination, position, nullptr, FILE_BEGIN);
    offset = next;
  }
  return true;
}

}  // namespace

uint64_t NormalizedWriteTime(bool onFat, const DirectoryEntry& entry) {
  if (!onFat)
    return TimeValue(entry.ftLastWriteTime);
  FILETIME utc;
  LocalFileTimeToFileTime(&entry.ftLastWriteTime, &utc);
  return TimeValue(utc);
}

bool CompareContents(const wchar_t* sourceFile, const wchar_t* destinationFile, bool sparse) {
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
  static std::vector<unsigned char> sourceBlock(kBlockSize), destinationBlock(kBlockSize);
  bool equal;
  for (uint64_t offset = 0;;) {
    if (sparse && !SkipSharedHoles(source, destination, offset)) {
      equal = true;
      break;
    }
    DWORD sourceCount = 0, destinationCount = 0;
    // A failed read is a difference: it must never pass for the end of both files.
    if (!ReadFile(source, sourceBlock.data(), kBlockSize, &sourceCount, nullptr) ||
        !ReadFile(destination, destinationBlock.data(), kBlockSize, &destinationCount, nullptr) ||
        sourceCount != destinationCount) {
      equal = false;
      break;
    }
    if (sourceCount == 0) {
      equal = true;
      break;
    }
    if (std::memcmp(sourceBlock.data(), destinationBlock.data(), sourceCount) != 0) {
      equal = false;
      break;
    }
    offset += sourceCount;
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
  // Both files with holes: the holes they share are not read.
  bool sparse =
      (source.dwFileAttributes & destination.dwFileAttributes & FILE_ATTRIBUTE_SPARSE_FILE) != 0;
  return CompareContents(sourceFile, destinationFile, sparse);
}
