#include "sync/compare.h"

#include <cstring>
#include <vector>

#include "settings/options.h"
#include "output/console.h"

namespace {

const uint64_t kTicksPerSecond = 10000000;
// Large reads, so the comparison runs at the speed of the disk, not of the calls; two blocks
// still fit in a core's cache for the comparison.
const size_t kBlockSize = 1 << 17;

// Moves both files past the holes they share: zeros on both sides by definition. False when
// only holes follow in both (the files are then equal up to their common size).
bool SkipSharedHoles(InputFile& source, InputFile& destination, uint64_t& offset) {
  uint64_t a = NextDataOffset(source, offset), b = NextDataOffset(destination, offset);
  uint64_t next = a < b ? a : b;
  if (next == kNoMoreData)
    return false;
  if (next > offset) {
    SeekFile(source, next);
    SeekFile(destination, next);
    offset = next;
  }
  return true;
}

}  // namespace

uint64_t NormalizedWriteTime(bool onFat, const DirectoryEntry& entry) {
  return onFat ? LocalTimeToUtc(entry.WriteTime.Ticks()) : entry.WriteTime.Ticks();
}

bool CompareContents(const OpenDirectory& sourceDirectory,
                     const OpenDirectory& destinationDirectory, const DirectoryEntry& sourceEntry,
                     const DirectoryEntry& destinationEntry) {
  bool sparse = SkipsSharedHoles(sourceEntry.Attributes, destinationEntry.Attributes);
  InputFile source, destination;
  if (!OpenFileAt(sourceDirectory, WideName(sourceEntry.Name), &source) ||
      !OpenFileAt(destinationDirectory, WideName(sourceEntry.Name), &destination))
    return false;
  thread_local std::vector<unsigned char> sourceBlock(kBlockSize), destinationBlock(kBlockSize);
  for (uint64_t offset = 0;;) {
    if (sparse && !SkipSharedHoles(source, destination, offset))
      return true;
    size_t sourceCount = 0, destinationCount = 0;
    // A failed read is a difference: it must never pass for the end of both files.
    if (!ReadFileBlock(source, sourceBlock.data(), kBlockSize, &sourceCount) ||
        !ReadFileBlock(destination, destinationBlock.data(), kBlockSize, &destinationCount) ||
        sourceCount != destinationCount)
      return false;
    if (sourceCount == 0)
      return true;
    if (std::memcmp(sourceBlock.data(), destinationBlock.data(), sourceCount) != 0)
      return false;
    offset += sourceCount;
  }
}

ListedVerdict JudgeListedPair(const DirectoryEntry& source, const DirectoryEntry& destination,
                              PairTimes* times, bool* timesEqual) {
  *timesEqual = true;
  times->Reached = false;
  if (OptionSet(kCompareSize) &&
      (source.SizeLow != destination.SizeLow || source.SizeHigh != destination.SizeHigh)) {
    return ListedVerdict::kDifferent;
  }
  // A source file whose attributes could not be read is not known to be backed up.
  if (OptionSet(kCompareArchive) &&
      ((source.Attributes & kAttributeArchive) || source.AttributesUnknown)) {
    return ListedVerdict::kDifferent;
  }
  times->Reached = true;
  times->Source = NormalizedWriteTime(SourceOnFat, source);
  times->Destination =
      NormalizedWriteTime(DestinationOnFat, destination) + static_cast<uint64_t>(TimeShiftTicks);
  uint64_t s = times->Source, d = times->Destination;
  *timesEqual = (s > d ? s - d : d - s) / kTicksPerSecond <=
                static_cast<uint64_t>(OptionValue(kTimePrecision));
  bool timeCompareContents = OptionSet(kTimeCompareContents);
  if (OptionSet(kCompareTime) && !*timesEqual && !timeCompareContents)
    return ListedVerdict::kDifferent;
  if (!OptionSet(kCompareContents) && (*timesEqual || !timeCompareContents))
    return ListedVerdict::kEqual;
  return ListedVerdict::kReadContents;
}

bool CompareFiles(const OpenDirectory& sourceDirectory, const OpenDirectory& destinationDirectory,
                  const std::wstring& destinationFile, const DirectoryEntry& source,
                  const DirectoryEntry& destination, bool& timesEqual, const bool* contentsEqual) {
  PairTimes times;
  ListedVerdict verdict = JudgeListedPair(source, destination, &times, &timesEqual);
  if (times.Reached && OptionSet(kLogTimeDiff)) {
    uint64_t s = times.Source, d = times.Destination;
    uint64_t seconds = (s > d ? s - d : d - s) / kTicksPerSecond;
    if (seconds == 0) {
      WriteOutput(L"%-12s%s\n", L"same time", destinationFile.c_str());
    } else {
      WriteOutput(L"%s more recent by %lu second(s)   %s\n", d > s ? L"dest" : L"source",
                  static_cast<uint32_t>(seconds), destinationFile.c_str());
    }
  }
  if (verdict != ListedVerdict::kReadContents)
    return verdict == ListedVerdict::kEqual;
  if (OptionSet(kLogCompareContents))
    WriteLogLine(L"comparing", destinationFile.c_str());
  return contentsEqual != nullptr
             ? *contentsEqual
             : CompareContents(sourceDirectory, destinationDirectory, source, destination);
}
