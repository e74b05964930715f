// What a listing holds: links, the name order, and the include/exclude filter that matches
// full paths. (How two listings pair: the end-to-end walk order and random trees.)
#include <algorithm>
#include <clocale>
#include <cwctype>
#include <random>
#include <tuple>

#include "program_state.h"
#include "scan/filter.h"
#include "scan/listing.h"

#define SEP PATH_SEPARATOR_TEXT

namespace {

TEST(NameOrder, CaseInsensitiveOrderIsTheCLibraryFoldingOfEveryCharacter) {
#ifdef _WIN32
  GTEST_SKIP() << "The Windows builds use the platform's own comparison";
#else
  std::setlocale(LC_CTYPE, "C.UTF-8");
  // Short names over the edges of the ASCII letters, characters that fold into ASCII (the Kelvin
  // sign, dotted capital I), fold elsewhere or not at all, and bytes that are not UTF-8 (a lone
  // continuation byte, a lead byte no character has, a sequence cut short), beside U+E000.
  const char* pieces[] = {"@",
                          "A",
                          "Z",
                          "[",
                          "`",
                          "a",
                          "z",
                          "{",
                          "_",
                          ".",
                          "0",
                          "b",
                          "B",
                          "\xC3\x80",
                          "\xC3\xA0",
                          "\xC4\xB0",
                          "\xE2\x84\xAA",
                          "\xC3\x9F",
                          "\xF0\x9F\x98\x80",
                          "\x80",
                          "\xF5",
                          "\xE2\x82",
                          "\xEE\x80\x80"};
  std::mt19937 random(7);
  auto sign = [](int order) { return (order > 0) - (order < 0); };
  for (int i = 0; i < 50000; i++) {
    std::string bytes[2];
    for (std::string& n : bytes)
      for (size_t length = random() % 5; length > 0; length--)
        n += pieces[random() % (sizeof pieces / sizeof *pieces)];
    std::wstring name[2] = {NameText(bytes[0].c_str()), NameText(bytes[1].c_str())};
    int order = CompareIgnoringCase(name[0].c_str(), name[1].c_str()), folded = 0;
    for (size_t c = 0; folded == 0 && c <= std::min(name[0].size(), name[1].size()); c++) {
      wint_t x = std::towlower(name[0].c_str()[c]), y = std::towlower(name[1].c_str()[c]);
      folded = (x > y) - (x < y);
    }
    ASSERT_EQ(sign(order), folded) << bytes[0] << " " << bytes[1];
    // The listing keeps the bytes: their order is that of their wide texts.
    ASSERT_EQ(sign(CompareIgnoringCase(bytes[0].c_str(), bytes[1].c_str())), folded)
        << bytes[0] << " " << bytes[1];
    ASSERT_EQ(sign(CompareNameCodes(bytes[0].c_str(), bytes[1].c_str())),
              sign(wcscmp(name[0].c_str(), name[1].c_str())))
        << bytes[0] << " " << bytes[1];
  }
#endif
}

TEST(Listing, ALargeListingSortsAcrossItsBlocksAndKeepsItsFirstEntries) {
  EntryList list;
  std::mt19937 random(3);
  std::vector<std::wstring> names;
  for (int i = 0; i < 1000; i++) names.push_back(std::to_wstring(random() % 100000) + L"x");
  for (const std::wstring& name : names) list.Add(Entry(name));
  SortEntryList(list);
  std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
    return CompareIgnoringCase(a.c_str(), b.c_str()) < 0;
  });
  list.Entries.Truncate(600);
  list.Add(Entry(L"~"));
  names.resize(600);
  names.push_back(L"~");
  ASSERT_EQ(list.Entries.size(), names.size());
  for (size_t i = 0; i < names.size(); i++)
    ASSERT_EQ(std::wstring(WideName(list.Entries[i].Name)), names[i]) << i;
}

TEST(Listing, OnlyJunctionsSymbolicLinksAndMountPointsAreLinks) {
  // Windows reparse tags: mount point (junction), symbolic link; a cloud placeholder, a
  // deduplicated file, a socket.
  std::string links;
  for (uint32_t tag : {0xA0000003u, 0xA000000Cu, 0x9000601Au, 0x80000013u, 0x80000023u})
    links += ReparseTagIsLink(tag) ? 'y' : 'n';
  EXPECT_EQ(links, "yynnn");
}

using FilterTest = ProgramStateTest;

TEST_F(FilterTest, PatternsMatchTheWholePathThatFits) {
  using Patterns = std::vector<const wchar_t*>;
  const Patterns git = {L"*.tmp", L"*" SEP L".git"}, txt = {L"*.txt"}, one = {L"d" SEP L"?.txt"};
  const std::wstring fits(kShortPathLimit - 4, L'd'), over(kShortPathLimit - 3, L'd');
  // Include mode; the patterns; the entry's path ('/' at the end: a directory); passes? Exclude:
  // any matching pattern leaves out files and directories alike. Include: matching files only;
  // every directory passes, also without patterns. An empty pattern matches no entry. Letters
  // match regardless of case; '*' spans separators and may match nothing; '?' is one character.
  // The whole path, not a part of it. A path that does not fit is reported whole and left out,
  // in include mode a directory too.
  // clang-format off
  const std::tuple<bool, Patterns, std::wstring, bool> cases[] = {
      {false, git, L"src/a.tmp", false}, {false, git, L"src/a.txt", true}, {false, {L"*t*"}, L"d/t", false},
      {false, git, L"src/sub/.git/", false}, {true, txt, L"src/a.txt", true},
      {true, txt, L"src/a.tmp", false}, {true, txt, L"src/sub/", true}, {true, {}, L"src/sub/", true},
      {true, {}, L"src/a.txt", false}, {false, {L""}, L"src/a", true}, {true, {L""}, L"src/a", false},
      {false, {L"*.TXT"}, L"docs/Notes.txt", false}, {false, {L"src*z"}, L"src/a/b/z", false},
      {false, one, L"d/a.txt", false}, {false, one, L"d/ab.txt", true}, {false, one, L"d/.txt", true},
      {false, {L"a.txt"}, L"dir/a.txt", true}, {false, {L"dir" SEP L"a"}, L"dir/a.txt", true},
      {false, {L"*a.txt"}, L"dir/data.txt", false}, {false, {L"*a.txt"}, L"dir/a.txt2", true},
      {true, {}, fits + L"/ab/", true}, {true, {}, over + L"/ab/", false}};
  // clang-format on
  for (auto [include, patterns, path, passes] : cases) {
    std::replace(path.begin(), path.end(), L'/', static_cast<wchar_t>(kSeparator[0]));
    bool isDirectory = path.back() == kSeparator[0], tooLong = false;
    path.resize(path.size() - isDirectory);
    IncludeMode = include;
    PatternList = patterns;
    CapturedConsole console;
    size_t cut = path.rfind(kSeparator[0]);
    DirectoryEntry entry = Entry(path.substr(cut + 1), isDirectory ? kAttributeDirectory : 0);
    EXPECT_EQ(EntryPassesFilter(path.substr(0, cut).c_str(), entry, &tooLong), passes)
        << Narrow(path.substr(0, 40));
    EXPECT_EQ(console.err() + console.out(),
              tooLong ? Console("Error: path too long: " + Narrow(path) + "\n") : "");
  }
  // A matcher that tried every placement of the stars would not finish on 3000 characters.
  std::wstring run(kWindowsBuild ? 24 : 3000, L'a');  // Wine's does: 40 take seconds there
  IncludeMode = false;
  PatternList = {L"*a*a*a*a*a*a*a*a*b", L"*?*?*?*?*?*?*?*?*b"};
  EXPECT_TRUE(PathPassesFilter(run.c_str()));
  EXPECT_FALSE(PathPassesFilter((run + L"ab").c_str()));
}

}  // namespace
