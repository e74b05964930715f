// Support for tests of the program's procedures: the state of a new process, the console
// captured, parses, entry records, wide and narrow text.
#pragma once

#include <gtest/gtest.h>

#include "scan/listing.h"
#include "tandrel_test.h"

using Strings = std::vector<std::wstring>;

// Captures what the program's console writer writes, for unit tests of procedures that log.
class CapturedConsole {
 public:
  CapturedConsole();   // points the standard output and error at two temporary files
  ~CapturedConsole();  // puts the previous ones back
  // The bytes written to the standard output, and to the standard error, so far.
  std::string out() const { return ReadTextFile(dir_.path() / "out"); }
  std::string err() const { return ReadTextFile(dir_.path() / "err"); }

 private:
  TempDir dir_;
  intptr_t saved_[2];
};

// A test whose state starts and ends as in a new process: options at their defaults, no
// patterns, both current paths empty, run settings cleared.
class ProgramStateTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset();
  // Parses from a new process's state with the console captured, keeping the arguments (the
  // patterns point into them), and derives the run settings; the arguments must be accepted and
  // nothing may reach the standard output.
  void Derive(const Strings& arguments);

  Strings args_;
  std::vector<wchar_t*> argv_;
};

// An entry record with these fields, every other field zero.
DirectoryEntry Entry(const std::wstring& name, uint32_t attributes = 0, uint64_t writeTime = 0,
                     uint64_t size = 0);
// A path as the program's wide functions take it, and wide text as UTF-8 (native: raw bytes).
std::wstring WidePath(const fs::path& path);
std::string Narrow(const std::wstring& text);
