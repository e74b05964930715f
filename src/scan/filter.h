// The include/exclude filter: whether an entry takes part in the run at all.
#pragma once

#include <string>
#include <vector>

#include "scan/listing.h"

// The pattern texts in command-line order (parts of the argument strings themselves).
extern std::vector<const wchar_t*> PatternList;
// True when the patterns are include patterns.
extern bool IncludeMode;

// Joins directory and the entry's name (reporting a path that does not fit, which then does not
// pass and sets *tooLong) and asks the patterns; every directory passes in include mode.
bool EntryPassesFilter(const std::wstring& directory, const DirectoryEntry& entry,
                       bool* tooLong = nullptr);
// The pattern test alone, on a full path.
bool PathPassesFilter(const wchar_t* path);
