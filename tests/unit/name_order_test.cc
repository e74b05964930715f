// The name order of the listings and the merge walk that pairs two sorted listings.
#include <gtest/gtest.h>

#include <string>

#include "program_state.h"
#include "scan/listing.h"
#include "sync/directory_pass.h"

namespace {

EntryList Sorted(const Strings& names) {
  EntryList list;
  for (const std::wstring& name : names) list.push_back(Entry(name));
  SortEntryList(list);
  return list;
}

std::wstring Order(const Strings& names) {
  std::wstring order;
  for (const DirectoryEntry& entry : Sorted(names)) order += entry.cFileName + std::wstring(L" ");
  return order;
}

// The calls of a walk over the two lists once sorted, "source,destination" each; "-" stands
// for no entry.
std::wstring calls;
std::wstring Walk(const Strings& source, const Strings& destination) {
  calls.clear();
  MergeEntryLists(
      Sorted(source), Sorted(destination), [](const DirectoryEntry* s, const DirectoryEntry* d) {
        calls += std::wstring(s ? s->cFileName : L"-") + L"," + (d ? d->cFileName : L"-") + L" ";
      });
  return calls;
}

TEST(IsDotName, OnlyDotAndDotDot) {
  for (const wchar_t* name : {L".", L".."}) EXPECT_TRUE(IsDotName(name)) << Narrow(name);
  for (const wchar_t* name : {L".git", L"..x", L"...", L"", L"a", L"x."}) {
    EXPECT_FALSE(IsDotName(name)) << Narrow(name);
  }
}

TEST(NameOrder, IgnoresCaseFirstInTheSortAndTheWalk) {
  EXPECT_EQ(Order({L"C.txt", L"b.txt", L"A.txt", L"ABCD", L"abc"}), L"A.txt abc ABCD b.txt C.txt ");
  EXPECT_EQ(Walk({L"a", L"c"}, {L"b", L"c", L"d"}), L"a,- -,b c,c -,d ");
  EXPECT_EQ(Walk({L"x", L"y"}, {L"a"}), L"-,a x,- y,- ");
  EXPECT_EQ(Walk({L"A.txt", L"C.txt"}, {L"b.txt"}), L"A.txt,- -,b.txt C.txt,- ");
}

TEST(NameOrder, NamesEqualButForCase) {
  if (kWindowsBuild) {
    EXPECT_EQ(CompareNames(L"Report.txt", L"report.TXT"), 0);
    EXPECT_EQ(Walk({L"Report.txt"}, {L"report.TXT"}), L"Report.txt,report.TXT ");
  } else {
    // Two names in a fixed order, upper case first, in the sort and in the walk alike.
    EXPECT_EQ(Order({L"b", L"a", L"B", L"A", L"ab", L"Ab"}), L"A a Ab ab B b ");
    EXPECT_EQ(Walk({L"b", L"a", L"A"}, {L"B", L"a"}), L"A,- a,a -,B b,- ");
  }
}

}  // namespace
