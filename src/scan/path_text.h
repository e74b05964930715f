// Path texts: a directory joined with a name, as every log line, report and call names it.
#pragma once

#include <memory>

#include "platform/win32.h"

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
