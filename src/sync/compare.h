// The comparison of a file pair.
#pragma once

#include <cstdint>

#include <string>

#include "scan/listing.h"

// The entry's last-write time, converted from local time to UTC when its side lies on FAT.
uint64_t NormalizedWriteTime(bool onFat, const DirectoryEntry& entry);
// True when the files' contents are the same, byte for byte. Any open or read failure makes
// them different. With sparse (SkipsSharedHoles), the holes they share are not read.
// The files are the entries of one name in the two directories; destinationFile names the pair in
// the log lines.
bool CompareContents(const OpenDirectory& sourceDirectory,
                     const OpenDirectory& destinationDirectory, const wchar_t* name,
                     const std::wstring& destinationFile, bool sparse);
// True when the pair counts as equal. timesEqual tells whether the times agree within the
// precision (true where the times were not reached).
bool CompareFiles(const OpenDirectory& sourceDirectory, const OpenDirectory& destinationDirectory,
                  const std::wstring& destinationFile, const DirectoryEntry& source,
                  const DirectoryEntry& destination, bool& timesEqual);
