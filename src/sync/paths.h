// The current directory pair and the operations that extend, strip and combine it.
#pragma once

#include "scan/path_text.h"

// The source and destination directories that the innermost running pass works on.
extern wchar_t SourcePath[MAX_PATH];
extern wchar_t DestinationPath[MAX_PATH];

// Extends a current-path buffer by one name; on failure the buffer is unchanged.
bool ExtendPath(wchar_t* buffer, const wchar_t* name);
// Extends both current paths by one name, or neither.
bool ExtendPathPair(const wchar_t* name);
// Removes the last component of a current-path buffer.
void StripPath(wchar_t* buffer);
