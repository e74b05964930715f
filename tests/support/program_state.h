// Support for unit tests of the program's procedures: the global state of a new process,
// argument vectors the parse may write into, entry records, parses with the console captured.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "scan/listing.h"
#include "tandrel_test.h"

using Strings = std::vector<std::wstring>;

// Options at their defaults, no patterns, both current paths empty, run settings cleared.
void ResetProgramState();

// A modifiable wide argument vector after argument 0, the program's name. The strings live as
// long as the object, so patterns that point into them stay valid.
class ArgumentVector {
 public:
  explicit ArgumentVector(const Strings& arguments);
  int argc() const { return static_cast<int>(pointers_.size()) - 1; }
  wchar_t** argv() { return pointers_.data(); }

 private:
  std::vector<std::vector<wchar_t>> strings_;
  std::vector<wchar_t*> pointers_;
};

// A test whose state starts and ends as in a new process.
class ProgramStateTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetProgramState(); }
  void TearDown() override { ResetProgramState(); }
  // Parses from a new process's state with the console captured, keeping the arguments and
  // the error output (nothing may reach the standard output); Derive parses successfully and
  // derives the run settings.
  bool Parse(const Strings& arguments);
  void Derive(const Strings& arguments);

  std::unique_ptr<ArgumentVector> args_;
  std::string err_;
};

// An entry record with these fields, every other field zero.
DirectoryEntry Entry(const std::wstring& name, DWORD attributes = 0, uint64_t writeTime = 0,
                     uint64_t size = 0);
// A path as the program's wide functions take it, and wide text as UTF-8 (native: raw bytes).
std::wstring WidePath(const fs::path& path);
std::string Narrow(const std::wstring& text);
