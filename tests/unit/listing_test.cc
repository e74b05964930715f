// What a listing holds and how two listings pair: dot names, the name order, the merge walk, and
// the include/exclude filter that matches full paths.
#include <gtest/gtest.h>

#include <clocale>
#include <cwctype>
#include <random>
#include <tuple>

#include "capture.h"
#include "program_state.h"
#include "scan/filter.h"
#include "scan/listing.h"
#include "sync/directory_pass.h"

#define SEP PATH_SEPARATOR_TEXT

namespace {

// The calls of a walk over the two lists once sorted, "source,destination" each; "-" stands
// for no entry.
std::wstring calls;
std::wstring Walk(const Strings& source, const Strings& destination = {}) {
  EntryList lists[2];
  for (int side = 0; side < 2; side++) {
    for (const std::wstring& name : side ? destination : source) lists[side].Add(Entry(name));
    SortEntryList(lists[side]);
  }
  calls.clear();
  MergeEntryLists(lists[0], lists[1], [](const DirectoryEntry* s, const DirectoryEntry* d) {
    calls += std::wstring(s ? s->cFileName : L"-") + L"," + (d ? d->cFileName : L"-") + L" ";
  });
  return calls;
}

using FilterTest = ProgramStateTest;

TEST(NameOrder, CaseInsensitiveOrderIsTheCLibraryFoldingOfEveryCharacter) {
  if (kWindowsBuild)
    GTEST_SKIP() << "The Windows builds use the platform's own comparison";
  std::setlocale(LC_CTYPE, "C.UTF-8");
  // Short names over the edges of the ASCII letters and characters that fold into ASCII (the
  // Kelvin sign, dotted capital I), fold elsewhere or not at all.
  std::wstring alphabet = L"@AZ[`az{_.0bB\u00C0\u00E0\u0130\u212A\u00DF\U0001F600";
  alphabet += static_cast<wchar_t>(0xDC80);  // a byte that is not UTF-8, as the names carry it
  auto folded = [](const wchar_t* a, const wchar_t* b) {
    for (;; a++, b++) {
      wint_t x = std::towlower(static_cast<wint_t>(*a)), y = std::towlower(static_cast<wint_t>(*b));
      if (x != y)
        return x < y ? -1 : 1;
      if (*a == 0)
        return 0;
    }
  };
  std::mt19937 random(7);
  for (int i = 0; i < 50000; i++) {
    std::wstring name[2];
    for (std::wstring& n : name)
      for (size_t length = random() % 5; length > 0; length--)
        n += alphabet[random() % alphabet.size()];
    int order = lstrcmpiW(name[0].c_str(), name[1].c_str());
    ASSERT_EQ((order > 0) - (order < 0), folded(name[0].c_str(), name[1].c_str()))
        << Narrow(name[0]) << " " << Narrow(name[1]);
  }
}

TEST(NameOrder, DotNamesAndCaseIgnoredFirstInTheSortAndTheWalk) {
  EXPECT_TRUE(IsDotName(L".") && IsDotName(L".."));
  for (const wchar_t* name : {L".git", L"..x", L"...", L"", L"x."}) {
    EXPECT_FALSE(IsDotName(name)) << Narrow(name);
  }
  EXPECT_EQ(Walk({L"C.txt", L"b.txt", L"A.txt", L"ABCD", L"abc"}),
            L"A.txt,- abc,- ABCD,- b.txt,- C.txt,- ");
  EXPECT_EQ(Walk({L"a", L"c"}, {L"b", L"c", L"d"}), L"a,- -,b c,c -,d ");
  EXPECT_EQ(Walk({L"A.txt", L"C.txt"}, {L"b.txt"}), L"A.txt,- -,b.txt C.txt,- ");
  if (kWindowsBuild) {  // names equal but for case pair up
    EXPECT_EQ(Walk({L"Report.txt"}, {L"report.TXT"}), L"Report.txt,report.TXT ");
  } else {  // they are two names, upper case first, in the sort and in the walk alike
    EXPECT_EQ(Walk({L"b", L"a", L"A", L"ab"}, {L"B", L"a", L"Ab"}), L"A,- a,a -,Ab ab,- -,B b,- ");
  }
}

TEST_F(FilterTest, PatternsMatchTheWholePathThatFits) {
  // Include mode; the patterns; directory and name of the entry; a directory?; passes?
  using Patterns = std::vector<const wchar_t*>;
  const Patterns git = {L"*.tmp", L"*" SEP L".git"}, txt = {L"*.txt"}, one = {L"d" SEP L"?.txt"};
  // clang-format off
  const std::tuple<bool, Patterns, const wchar_t*, const wchar_t*, bool, bool> cases[] = {
      // Exclude: any matching pattern leaves out files and directories alike.
      {false, git, L"src", L"a.tmp", false, false}, {false, git, L"src", L"a.txt", false, true},
      {false, git, L"src" SEP L"sub", L".git", true, false},
      // Include: matching files only; every directory passes, also without patterns.
      {true, txt, L"src", L"a.txt", false, true}, {true, txt, L"src", L"a.tmp", false, false},
      {true, txt, L"src", L"sub", true, true}, {true, {}, L"src", L"sub", true, true},
      {true, {}, L"src", L"a.txt", false, false},
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
  // A matcher that tried every placement of the stars would not finish on 3000 characters.
  std::wstring run(kWindowsBuild ? 24 : 3000, L'a');  // Wine's does: 40 take seconds there
  IncludeMode = false;
  PatternList = {L"*a*a*a*a*a*a*a*a*b"};
  EXPECT_TRUE(PathPassesFilter(run.c_str()));
  EXPECT_FALSE(PathPassesFilter((run + L"ab").c_str()));
  PatternList = {L"*?*?*?*?*?*?*?*?*b"};
  EXPECT_TRUE(PathPassesFilter(run.c_str()));
  // A path that does not fit is reported whole and left out, a directory in include mode too.
  IncludeMode = true;
  CapturedConsole console;
  DirectoryEntry entry = Entry(L"ab", FILE_ATTRIBUTE_DIRECTORY);
  bool tooLong = false;
  EXPECT_TRUE(EntryPassesFilter(std::wstring(MAX_PATH - 4, L'd').c_str(), entry, &tooLong));
  EXPECT_FALSE(tooLong);
  std::wstring directory(MAX_PATH - 3, L'd');
  EXPECT_FALSE(EntryPassesFilter(directory.c_str(), entry, &tooLong));
  EXPECT_TRUE(tooLong);
  EXPECT_EQ(console.err(),
            Console("Error: path too long: " + Narrow(directory) + kSeparator + "ab\n"));
}

}  // namespace
