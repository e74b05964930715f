// The include/exclude filter and the wildcard match of full paths.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "capture.h"
#include "program_state.h"
#include "scan/filter.h"
#include "scan/listing.h"

namespace {

#define SEP PATH_SEPARATOR_TEXT

DirectoryEntry Entry(const std::wstring& name, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE) {
  DirectoryEntry entry;
  std::memset(&entry, 0, sizeof entry);
  entry.dwFileAttributes = attributes;
  name.copy(entry.cFileName, name.size());
  return entry;
}

DirectoryEntry Directory(const std::wstring& name) {
  return Entry(name, FILE_ATTRIBUTE_DIRECTORY);
}

class FilterTest : public ProgramStateTest {
 protected:
  // Asks the filter with the console captured; no message is expected.
  bool Passes(const wchar_t* directory, const DirectoryEntry& entry) {
    CapturedConsole console;
    bool passes = EntryPassesFilter(directory, entry);
    EXPECT_EQ(console.err(), "");
    EXPECT_EQ(console.out(), "");
    return passes;
  }
};

TEST_F(FilterTest, WithoutPatternsEverythingPasses) {
  EXPECT_TRUE(Passes(L"src", Entry(L"a.txt")));
  EXPECT_TRUE(Passes(L"src", Directory(L"sub")));
  EXPECT_TRUE(PathPassesFilter(L"src" SEP L"a.txt"));
}

TEST_F(FilterTest, ExcludeModeDropsMatchingFilesAndDirectories) {
  PatternList = {L"*.tmp", L"*" SEP L".git"};
  EXPECT_FALSE(Passes(L"src", Entry(L"a.tmp")));
  EXPECT_TRUE(Passes(L"src", Entry(L"a.txt")));
  EXPECT_FALSE(Passes(L"src" SEP L"sub", Directory(L".git")));
  EXPECT_FALSE(Passes(L"src", Directory(L"cache.tmp")));
  EXPECT_TRUE(Passes(L"src", Directory(L".gitignore")));
  EXPECT_TRUE(Passes(L"src" SEP L".git", Entry(L"config")));
  EXPECT_FALSE(PathPassesFilter(L"src" SEP L"x.tmp"));
  EXPECT_TRUE(PathPassesFilter(L"src" SEP L"x.tmp1"));
}

TEST_F(FilterTest, IncludeModeAppliesToFilesOnly) {
  IncludeMode = true;
  PatternList = {L"*.txt"};
  EXPECT_TRUE(Passes(L"src", Entry(L"a.txt")));
  EXPECT_FALSE(Passes(L"src", Entry(L"a.tmp")));
  EXPECT_TRUE(Passes(L"src", Directory(L"sub")));
  EXPECT_TRUE(Passes(L"src", Directory(L"notes.txt")));
  EXPECT_TRUE(PathPassesFilter(L"src" SEP L"a.txt"));
  EXPECT_FALSE(PathPassesFilter(L"src" SEP L"a.tmp"));
  // The directory rule belongs to EntryPassesFilter alone.
  EXPECT_FALSE(PathPassesFilter(L"src" SEP L"sub"));
}

TEST_F(FilterTest, IncludeModeWithoutPatternsPassesDirectoriesOnly) {
  IncludeMode = true;
  EXPECT_FALSE(Passes(L"src", Entry(L"a.txt")));
  EXPECT_FALSE(Passes(L"src", Entry(L"")));
  EXPECT_TRUE(Passes(L"src", Directory(L"sub")));
  EXPECT_FALSE(PathPassesFilter(L"src" SEP L"a.txt"));
}

TEST_F(FilterTest, AnyMatchingPatternDecides) {
  PatternList = {L"*.a", L"*.b", L"*.c"};
  EXPECT_FALSE(Passes(L"d", Entry(L"x.b")));
  EXPECT_FALSE(Passes(L"d", Entry(L"x.c")));
  EXPECT_TRUE(Passes(L"d", Entry(L"x.d")));
  IncludeMode = true;
  EXPECT_TRUE(Passes(L"d", Entry(L"x.c")));
  EXPECT_FALSE(Passes(L"d", Entry(L"x.d")));
}

TEST_F(FilterTest, EmptyPatternMatchesNoEntry) {
  PatternList = {L""};
  EXPECT_TRUE(Passes(L"src", Entry(L"a")));
  EXPECT_TRUE(Passes(L"src", Directory(L"sub")));
  IncludeMode = true;
  EXPECT_FALSE(Passes(L"src", Entry(L"a")));
  EXPECT_TRUE(Passes(L"src", Directory(L"sub")));
}

TEST_F(FilterTest, LettersMatchRegardlessOfCase) {
  PatternList = {L"*.txt"};
  EXPECT_FALSE(Passes(L"docs", Entry(L"NOTES.TXT")));
  EXPECT_FALSE(Passes(L"docs", Entry(L"Notes.Txt")));
  PatternList = {L"*" SEP L"README"};
  EXPECT_FALSE(Passes(L"docs", Entry(L"readme")));
  EXPECT_TRUE(Passes(L"docs", Entry(L"readme.md")));
}

TEST_F(FilterTest, StarSpansSeparatorsAndMatchesNothing) {
  PatternList = {L"src*z"};
  EXPECT_FALSE(PathPassesFilter(L"src" SEP L"a" SEP L"b" SEP L"z"));
  EXPECT_FALSE(PathPassesFilter(L"srcz"));
  EXPECT_TRUE(PathPassesFilter(L"src" SEP L"z" SEP L"a"));
  PatternList = {L"*"};
  EXPECT_FALSE(Passes(L"a" SEP L"b", Entry(L"c")));
  PatternList = {L"a" SEP L"**" SEP L"c"};
  EXPECT_FALSE(PathPassesFilter(L"a" SEP L"x" SEP L"y" SEP L"c"));
  EXPECT_TRUE(PathPassesFilter(L"a" SEP L"c"));
}

TEST_F(FilterTest, QuestionMarkMatchesExactlyOneCharacter) {
  PatternList = {L"d" SEP L"?.txt"};
  EXPECT_FALSE(PathPassesFilter(L"d" SEP L"a.txt"));
  EXPECT_TRUE(PathPassesFilter(L"d" SEP L".txt"));
  EXPECT_TRUE(PathPassesFilter(L"d" SEP L"ab.txt"));
  PatternList = {L"*.i??"};
  EXPECT_FALSE(PathPassesFilter(L"d" SEP L"x.ini"));
  EXPECT_TRUE(PathPassesFilter(L"d" SEP L"x.in"));
  EXPECT_TRUE(PathPassesFilter(L"d" SEP L"x.init"));
}

TEST_F(FilterTest, PatternMustMatchTheWholePath) {
  PatternList = {L"a.txt"};
  EXPECT_TRUE(Passes(L"dir", Entry(L"a.txt")));
  EXPECT_FALSE(PathPassesFilter(L"a.txt"));
  PatternList = {L"dir"};
  EXPECT_TRUE(Passes(L"dir", Entry(L"a.txt")));
  PatternList = {L"dir" SEP L"a"};
  EXPECT_TRUE(Passes(L"dir", Entry(L"a.txt")));
  EXPECT_FALSE(Passes(L"dir", Entry(L"a")));
  PatternList = {L"*a.txt"};
  EXPECT_FALSE(Passes(L"dir", Entry(L"a.txt")));
  EXPECT_FALSE(Passes(L"dir", Entry(L"data.txt")));
  EXPECT_TRUE(Passes(L"dir", Entry(L"a.txt2")));
}

TEST_F(FilterTest, AdversarialPatternFinishesWithTheRightAnswer) {
  // Many stars against a long run of one letter: a matcher that backtracks over every way of
  // placing the stars would not finish. The Windows builds' matcher is the system's, and
  // Wine's does backtrack that way (40 characters take seconds): the run is kept short there.
  const size_t length = kWindowsBuild ? 24 : 3000;
  std::wstring run(length, L'a');
  PatternList = {L"*a*a*a*a*a*a*a*a*b"};
  EXPECT_TRUE(PathPassesFilter(run.c_str()));
  EXPECT_FALSE(PathPassesFilter((run + L"b").c_str()));
  EXPECT_FALSE(PathPassesFilter((run + L"ab").c_str()));
  PatternList = {L"*a*a*a*a*a*a*a*a*"};
  EXPECT_FALSE(PathPassesFilter(run.c_str()));
  EXPECT_TRUE(PathPassesFilter(L"aaaaaaa"));
  PatternList = {L"*?*?*?*?*?*?*?*?*b"};
  EXPECT_TRUE(PathPassesFilter(run.c_str()));
}

TEST_F(FilterTest, PathTooLongIsReportedAndLeftOut) {
  std::wstring directory(MAX_PATH - 3, L'd');
  DirectoryEntry entry = Entry(L"ab");
  CapturedConsole console;
  bool tooLong = false;
  EXPECT_FALSE(EntryPassesFilter(directory.c_str(), entry, &tooLong));
  EXPECT_TRUE(tooLong);
  EXPECT_EQ(console.err(), Console("Error: path too long: " + std::string(MAX_PATH - 3, 'd') +
                                   kSeparator + "ab\n"));
  EXPECT_EQ(console.out(), "");
  // In include mode a directory is reported and left out too.
  IncludeMode = true;
  EXPECT_FALSE(EntryPassesFilter(directory.c_str(), Directory(L"ab")));
  // The longest path that fits, MAX_PATH - 1 characters, passes without a message.
  CapturedConsole fits;
  std::wstring shorter(MAX_PATH - 4, L'd');
  EXPECT_TRUE(EntryPassesFilter(shorter.c_str(), Directory(L"ab")));
  IncludeMode = false;
  EXPECT_TRUE(EntryPassesFilter(shorter.c_str(), entry));
  EXPECT_EQ(fits.err(), "");
}

}  // namespace
