// The current directory pair and the operations that extend, strip and combine it.
#pragma once

#include <memory>

#include "platform/win32.h"

// The source and destination directories that the innermost running pass works on.
extern wchar_t SourcePath[MAX_PATH];
extern wchar_t DestinationPath[MAX_PATH];

// A path buffer of MAX_PATH characters kept off the stack, since trees may be deep and
// MAX_PATH is large on POSIX.
class PathBuffer {
 public:
  PathBuffer() : chars_(new wchar_t[MAX_PATH]) { chars_[0] = 0; }
  wchar_t* get() { return chars_.get(); }

 private:
  std::unique_ptr<wchar_t[]> chars_;
};

// Joins directory and name into out (MAX_PATH characters). When the result does not fit,
// writes "Error: path too long: ..." with both texts and returns false.
bool CombinePath(wchar_t* out, const wchar_t* directory, const wchar_t* name);
// Extends a current-path buffer by one name; on failure the buffer is unchanged.
bool ExtendPath(wchar_t* buffer, const wchar_t* name);
// Extends both current paths by one name, or neither.
bool ExtendPathPair(const wchar_t* name);
// Removes the last component of a current-path buffer.
void StripPath(wchar_t* buffer);
