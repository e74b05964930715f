// Captures what the program's console writer writes, for unit tests of procedures that log.
#pragma once

#include <string>

#include "tandrel_test.h"

class CapturedConsole {
 public:
  CapturedConsole();   // points OutputHandle and ErrorHandle at two temporary files
  ~CapturedConsole();  // puts the previous handles back
  // The bytes written to the standard output, and to the standard error, so far.
  std::string out() const { return ReadTextFile(dir_.path() / "out"); }
  std::string err() const { return ReadTextFile(dir_.path() / "err"); }

 private:
  TempDir dir_;
  HANDLE savedOut_, savedErr_, out_, err_;
};
