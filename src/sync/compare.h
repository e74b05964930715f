// The comparison of a file pair.
#pragma once

#include <cstdint>

#include <string>

#include "scan/listing.h"

// The entry's last-write time, converted from local time to UTC when its side lies on FAT.
uint64_t NormalizedWriteTime(bool onFat, const DirectoryEntry& entry);
// True when the files' contents are the same, byte for byte. Any open or read failure makes
// them different. The files are the entries of one name in the two directories; their holes
// are skipped where both have them (SkipsSharedHoles). Writes nothing: safe on a worker.
bool CompareContents(const OpenDirectory& sourceDirectory,
                     const OpenDirectory& destinationDirectory, const DirectoryEntry& source,
                     const DirectoryEntry& destination);
// What the listing alone tells of a pair, as the compare options judge it.
enum class ListedVerdict { kDifferent, kEqual, kReadContents };
// The pair's times as compared: the normalized source time and the normalized, shifted
// destination time; reached false where the sizes or the archive attribute decided first.
struct PairTimes {
  uint64_t Source, Destination;
  bool Reached;
};
// Judges the pair by its listed size, archive attribute and times. timesEqual tells whether the
// times agree within the precision (true where the times were not reached). Writes nothing.
ListedVerdict JudgeListedPair(const DirectoryEntry& source, const DirectoryEntry& destination,
                              PairTimes* times, bool* timesEqual);
// True when the pair counts as equal; destinationFile names it in the log lines. Its contents,
// where the verdict asks for them, are read here, or were compared ahead (contentsEqual).
bool CompareFiles(const OpenDirectory& sourceDirectory, const OpenDirectory& destinationDirectory,
                  const std::wstring& destinationFile, const DirectoryEntry& source,
                  const DirectoryEntry& destination, bool& timesEqual,
                  const bool* contentsEqual = nullptr);
