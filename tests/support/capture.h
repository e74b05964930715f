// Captures what the program's console writer writes, for unit tests of procedures that log.
#pragma once

#include <string>

#include "tandrel_test.h"

class CapturedConsole {
 public:
  CapturedConsole();   // points OutputHandle and ErrorHandle at two temporary files
  ~CapturedConsole();  // puts the previous handles back
  CapturedConsole(const CapturedConsole&) = delete;
  CapturedConsole& operator=(const CapturedConsole&) = delete;
  std::string out() const;  // the bytes written to the standard output so far
  std::string err() const;  // the bytes written to the standard error so far

 private:
  TempDir dir_;
  HANDLE savedOut_, savedErr_, out_, err_;
};
