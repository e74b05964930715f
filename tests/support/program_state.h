// Support for unit tests of the program's procedures: putting its global state back to what a
// new process starts with, and argument vectors that the command-line parse may write into.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "tandrel_test.h"

// Options at their defaults, no patterns, exclude mode, both current paths empty, the run
// settings cleared.
void ResetProgramState();

// A test whose state starts and ends as in a new process.
class ProgramStateTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetProgramState(); }
  void TearDown() override { ResetProgramState(); }
};

// A modifiable wide argument vector, argument 0 being the program's name. The strings live as
// long as the object, so patterns that point into them stay valid.
class ArgumentVector {
 public:
  ArgumentVector(std::initializer_list<std::wstring> arguments);
  int argc() const { return static_cast<int>(pointers_.size()) - 1; }
  wchar_t** argv() { return pointers_.data(); }
  // Argument i as it reads now (up to its first terminator).
  std::wstring operator[](int i) const { return pointers_[i]; }

 private:
  std::vector<std::vector<wchar_t>> strings_;
  std::vector<wchar_t*> pointers_;
};

// A path as the program's wide functions take it.
std::wstring WidePath(const fs::path& path);
// Wide text as the UTF-8 bytes a test compares with console output.
std::string Narrow(const std::wstring& text);
