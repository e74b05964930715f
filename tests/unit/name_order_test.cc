// The name order of the listings and the merge walk that pairs two sorted listings.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "program_state.h"
#include "scan/listing.h"
#include "sync/directory_pass.h"

namespace {

DirectoryEntry Entry(const std::wstring& name) {
  DirectoryEntry entry;
  std::memset(&entry, 0, sizeof entry);
  name.copy(entry.cFileName, name.size());
  return entry;
}

EntryList Entries(std::initializer_list<std::wstring> names) {
  EntryList list;
  for (const std::wstring& name : names) list.push_back(Entry(name));
  return list;
}

std::vector<std::wstring> Names(const EntryList& list) {
  std::vector<std::wstring> names;
  for (const DirectoryEntry& entry : list) names.push_back(entry.cFileName);
  return names;
}

int Sign(int value) {
  return (value > 0) - (value < 0);
}

// The calls of the walk, recorded by a plain handler: "-" stands for no entry.
std::vector<std::pair<std::wstring, std::wstring>> calls;

void RecordCall(const DirectoryEntry* source, const DirectoryEntry* destination) {
  calls.emplace_back(source ? source->cFileName : L"-",
                     destination ? destination->cFileName : L"-");
}

std::vector<std::pair<std::wstring, std::wstring>> Walk(const EntryList& source,
                                                        const EntryList& destination) {
  calls.clear();
  MergeEntryLists(source, destination, RecordCall);
  return std::move(calls);
}

using Calls = std::vector<std::pair<std::wstring, std::wstring>>;

TEST(IsDotName, OnlyDotAndDotDot) {
  EXPECT_TRUE(IsDotName(L"."));
  EXPECT_TRUE(IsDotName(L".."));
  EXPECT_FALSE(IsDotName(L".git"));
  EXPECT_FALSE(IsDotName(L"..x"));
  EXPECT_FALSE(IsDotName(L"..."));
  EXPECT_FALSE(IsDotName(L""));
  EXPECT_FALSE(IsDotName(L"a"));
  EXPECT_FALSE(IsDotName(L"x."));
  EXPECT_FALSE(IsDotName(L".a."));
}

TEST(NameOrder, IgnoresCaseFirst) {
  EXPECT_LT(CompareNames(L"A.txt", L"b.txt"), 0);
  EXPECT_LT(CompareNames(L"b.txt", L"C.txt"), 0);
  EXPECT_GT(CompareNames(L"c.txt", L"B.TXT"), 0);
  EXPECT_LT(CompareNames(L"abc", L"ABCD"), 0);
  EXPECT_GT(CompareNames(L"abd", L"ABC"), 0);
  EXPECT_LT(CompareNames(L"", L"a"), 0);
  EXPECT_EQ(CompareNames(L"same", L"same"), 0);
  for (const auto& names : {std::pair{L"A.txt", L"b.txt"}, std::pair{L"x", L"Y"},
                            std::pair{L"report.TXT", L"Report.txt"}, std::pair{L"a", L"A"}}) {
    EXPECT_EQ(Sign(CompareNames(names.first, names.second)),
              -Sign(CompareNames(names.second, names.first)));
  }
}

TEST(NameOrder, NamesEqualButForCase) {
  if (kWindowsBuild) {
    EXPECT_EQ(CompareNames(L"Report.txt", L"report.TXT"), 0);
  } else {
    // Two distinct names in a fixed order: upper case first.
    EXPECT_LT(CompareNames(L"A", L"a"), 0);
    EXPECT_GT(CompareNames(L"a", L"A"), 0);
    EXPECT_LT(CompareNames(L"Report.txt", L"report.TXT"), 0);
  }
}

TEST(SortEntryList, SortsByNameIgnoringCase) {
  EntryList list = Entries({L"C.txt", L"b.txt", L"A.txt"});
  SortEntryList(list);
  EXPECT_EQ(Names(list), (std::vector<std::wstring>{L"A.txt", L"b.txt", L"C.txt"}));
  list = Entries({L"b.txt", L"C.txt", L"A.txt", L"a0", L"Zed", L"_x", L"B"});
  SortEntryList(list);
  for (size_t i = 1; i < list.size(); i++) {
    EXPECT_LT(CompareNames(list[i - 1].cFileName, list[i].cFileName), 0)
        << Narrow(list[i - 1].cFileName) << " " << Narrow(list[i].cFileName);
  }
  EntryList empty;
  SortEntryList(empty);
  EXPECT_TRUE(empty.empty());
}

TEST(SortEntryList, NamesEqualButForCaseAreTwoEntriesInAFixedOrderOnNative) {
  if (kWindowsBuild)
    GTEST_SKIP() << "names equal but for case name one file on Windows";
  EntryList list = Entries({L"b", L"a", L"B", L"A", L"ab", L"Ab"});
  SortEntryList(list);
  EXPECT_EQ(Names(list), (std::vector<std::wstring>{L"A", L"a", L"Ab", L"ab", L"B", L"b"}));
}

TEST(MergeEntryLists, VisitsEveryNameOnceInNameOrder) {
  EXPECT_EQ(Walk(Entries({L"a", L"c"}), Entries({L"b", L"c", L"d"})),
            (Calls{{L"a", L"-"}, {L"-", L"b"}, {L"c", L"c"}, {L"-", L"d"}}));
  EXPECT_EQ(Walk(Entries({L"b", L"c", L"d"}), Entries({L"a", L"c"})),
            (Calls{{L"-", L"a"}, {L"b", L"-"}, {L"c", L"c"}, {L"d", L"-"}}));
  // Leftovers: first the source's, then the destination's.
  EXPECT_EQ(Walk(Entries({L"x", L"y"}), Entries({L"a"})),
            (Calls{{L"-", L"a"}, {L"x", L"-"}, {L"y", L"-"}}));
  EXPECT_EQ(Walk(Entries({L"a"}), Entries({L"m", L"n"})),
            (Calls{{L"a", L"-"}, {L"-", L"m"}, {L"-", L"n"}}));
  EXPECT_EQ(Walk(Entries({}), Entries({})), Calls{});
  EXPECT_EQ(Walk(Entries({L"only"}), Entries({})), (Calls{{L"only", L"-"}}));
  EXPECT_EQ(Walk(Entries({}), Entries({L"only"})), (Calls{{L"-", L"only"}}));
  // Case-insensitive order across the two lists.
  EXPECT_EQ(Walk(Entries({L"A.txt", L"C.txt"}), Entries({L"b.txt"})),
            (Calls{{L"A.txt", L"-"}, {L"-", L"b.txt"}, {L"C.txt", L"-"}}));
}

TEST(MergeEntryLists, NamesEqualButForCase) {
  Calls walked = Walk(Entries({L"Report.txt"}), Entries({L"report.TXT"}));
  if (kWindowsBuild) {
    EXPECT_EQ(walked, (Calls{{L"Report.txt", L"report.TXT"}}));
  } else {
    EXPECT_EQ(walked, (Calls{{L"Report.txt", L"-"}, {L"-", L"report.TXT"}}));
  }
}

TEST(MergeEntryLists, AgreesWithTheSortOnNative) {
  if (kWindowsBuild)
    GTEST_SKIP() << "names equal but for case name one file on Windows";
  EntryList source = Entries({L"b", L"a", L"A"});
  EntryList destination = Entries({L"B", L"a"});
  SortEntryList(source);
  SortEntryList(destination);
  EXPECT_EQ(Walk(source, destination),
            (Calls{{L"A", L"-"}, {L"a", L"a"}, {L"-", L"B"}, {L"b", L"-"}}));
}

}  // namespace
