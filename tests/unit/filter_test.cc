// The include/exclude filter and the wildcard match of full paths.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "capture.h"
#include "program_state.h"
#include "scan/filter.h"

#define SEP PATH_SEPARATOR_TEXT

using FilterTest = ProgramStateTest;

TEST_F(FilterTest, PatternsMatchTheWholePathInEitherMode) {
  // Include mode; the patterns; directory and name of the entry; a directory?; passes?
  using Patterns = std::vector<const wchar_t*>;
  const Patterns git = {L"*.tmp", L"*" SEP L".git"}, txt = {L"*.txt"}, one = {L"d" SEP L"?.txt"};
  // clang-format off
  const std::tuple<bool, Patterns, const wchar_t*, const wchar_t*, bool, bool> cases[] = {
      // Exclude: any matching pattern leaves out files and directories alike.
      {false, git, L"src", L"a.tmp", false, false}, {false, git, L"src", L"a.txt", false, true},
      {false, git, L"src" SEP L"sub", L".git", true, false},
      {false, git, L"src", L".gitignore", true, true},
      // Include: matching files only; every directory passes, also without patterns.
      {true, txt, L"src", L"a.txt", false, true}, {true, txt, L"src", L"a.tmp", false, false},
      {true, txt, L"src", L"sub", true, true}, {true, {}, L"src", L"a.txt", false, false},
      {true, {}, L"src", L"sub", true, true},
      // An empty pattern matches no entry.
      {false, {L""}, L"src", L"a", false, true}, {true, {L""}, L"src", L"a", false, false},
      // Letters match regardless of case; '*' spans separators; '?' is one character.
      {false, {L"*.TXT"}, L"docs", L"Notes.txt", false, false},
      {false, {L"src*z"}, L"src" SEP L"a" SEP L"b", L"z", false, false},
      {false, one, L"d", L"a.txt", false, false}, {false, one, L"d", L"ab.txt", false, true},
      {false, one, L"d", L".txt", false, true},
      // The whole path, not a part of it.
      {false, {L"a.txt"}, L"dir", L"a.txt", false, true},
      {false, {L"dir" SEP L"a"}, L"dir", L"a.txt", false, true},
      {false, {L"*a.txt"}, L"dir", L"data.txt", false, false},
      {false, {L"*a.txt"}, L"dir", L"a.txt2", false, true}};
  // clang-format on
  for (const auto& [include, patterns, directory, name, isDirectory, passes] : cases) {
    SCOPED_TRACE(Narrow(std::wstring(directory) + L" " + name));
    IncludeMode = include;
    PatternList = patterns;
    CapturedConsole console;
    DirectoryEntry entry = Entry(name, isDirectory ? FILE_ATTRIBUTE_DIRECTORY : 0);
    EXPECT_EQ(EntryPassesFilter(directory, entry), passes);
    EXPECT_EQ(console.err() + console.out(), "");
  }
}

TEST_F(FilterTest, AdversarialPatternFinishesWithTheRightAnswer) {
  // A matcher that tried every placement of the stars would not finish on 3000 characters.
  std::wstring run(kWindowsBuild ? 24 : 3000, L'a');  // Wine's does: 40 take seconds there

  PatternList = {L"*a*a*a*a*a*a*a*a*b"};
  EXPECT_TRUE(PathPassesFilter(run.c_str()));
  EXPECT_FALSE(PathPassesFilter((run + L"ab").c_str()));
  PatternList = {L"*?*?*?*?*?*?*?*?*b"};
  EXPECT_TRUE(PathPassesFilter(run.c_str()));
}

TEST_F(FilterTest, PathTooLongIsReportedWholeAndLeftOut) {
  IncludeMode = true;  // a directory passes whenever its path fits
  CapturedConsole console;
  DirectoryEntry entry = Entry(L"ab", FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(EntryPassesFilter(std::wstring(MAX_PATH - 4, L'd').c_str(), entry));
  EXPECT_EQ(console.err(), "");
  bool tooLong = false;
  std::wstring directory(MAX_PATH - 3, L'd');
  EXPECT_FALSE(EntryPassesFilter(directory.c_str(), entry, &tooLong));
  EXPECT_TRUE(tooLong);
  EXPECT_EQ(console.err(),
            Console("Error: path too long: " + Narrow(directory) + kSeparator + "ab\n"));
}
