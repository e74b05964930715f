// Path texts: a directory joined with a name, as every log line and report names it.
#pragma once

#include <cstddef>
#include <string>

#include "platform/system.h"

// The longest path text the run handles: kShortPathLimit - 1 characters; under long-paths 32,767 on
// Windows and no limit natively.
size_t PathTextLimit();
// Joins directory and name into out; false when the result does not fit the limit.
bool JoinWithinLimit(std::wstring* out, const std::wstring& directory, const wchar_t* name);
// Joins directory and name into out. When the result does not fit the limit, writes
// "Error: path too long: ..." with both texts and returns false.
bool CombinePath(std::wstring* out, const std::wstring& directory, const wchar_t* name);
