// The comparison of a file pair: the size, archive and time tests, the time-difference lines,
// and when the contents decide.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "capture.h"
#include "cli/command_line.h"
#include "cli/options.h"
#include "cli/run.h"
#include "program_state.h"
#include "sync/compare.h"

namespace {

const uint64_t kBase = 132000000000000000ULL;  // a time in 2019, in 100 ns units since 1601
const uint64_t kTicks = 10000000ULL;           // one second

DirectoryEntry File(uint64_t time, uint64_t size = 5, DWORD attributes = 0) {
  DirectoryEntry entry;
  std::memset(&entry, 0, sizeof entry);
  entry.dwFileAttributes = attributes;
  entry.ftLastWriteTime.dwLowDateTime = static_cast<DWORD>(time);
  entry.ftLastWriteTime.dwHighDateTime = static_cast<DWORD>(time >> 32);
  entry.nFileSizeLow = static_cast<DWORD>(size);
  entry.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  return entry;
}

// Paths that name nothing: a comparison that opened them would find the pair different.
const wchar_t kMissingSource[] = L"no-such-source" PATH_SEPARATOR_TEXT L"f.txt";
const wchar_t kMissingDestination[] = L"no-such-destination" PATH_SEPARATOR_TEXT L"f.txt";
const std::string kMissingDestinationText =
    std::string("no-such-destination") + kSeparator + "f.txt";

struct Outcome {
  bool equal;
  bool timesEqual;
  std::string out;
};

class CompareTest : public ProgramStateTest {
 protected:
  void SetUp() override {
    ProgramStateTest::SetUp();
    // Two pairs of small files of the same size: one equal, one differing in a byte.
    WriteTextFile(dir_.path() / "same.src", "hello");
    WriteTextFile(dir_.path() / "same.dst", "hello");
    WriteTextFile(dir_.path() / "diff.src", "hello");
    WriteTextFile(dir_.path() / "diff.dst", "hellp");
  }

  // Sets options from command-line arguments and derives the run settings, as the run does.
  void Options(std::initializer_list<std::wstring> arguments) {
    ResetProgramState();
    ArgumentVector args(arguments);
    CapturedConsole console;
    ASSERT_TRUE(ParseCommandLine(args.argc(), args.argv()));
    DeriveSettings();
  }

  Outcome Compare(const std::wstring& source, const std::wstring& destination,
                  const DirectoryEntry& sourceEntry, const DirectoryEntry& destinationEntry) {
    CapturedConsole console;
    bool timesEqual = false;
    bool equal = CompareFiles(source.c_str(), destination.c_str(), sourceEntry, destinationEntry,
                              timesEqual);
    EXPECT_EQ(console.err(), "");
    return {equal, timesEqual, console.out()};
  }
  Outcome CompareMissing(const DirectoryEntry& source, const DirectoryEntry& destination) {
    return Compare(kMissingSource, kMissingDestination, source, destination);
  }
  Outcome ComparePair(const char* pair, const DirectoryEntry& source,
                      const DirectoryEntry& destination) {
    return Compare(WidePath(dir_.path() / (std::string(pair) + ".src")),
                   WidePath(dir_.path() / (std::string(pair) + ".dst")), source, destination);
  }
  std::string Comparing(const char* pair) {
    return LogLine("comparing", TempDir::PathText(dir_.path() / (std::string(pair) + ".dst")));
  }

  // The contents decide: the equal pair is equal, the different pair different, both after the
  // "comparing" line; the time flag is as given either way.
  void ExpectContentsDecide(const DirectoryEntry& source, const DirectoryEntry& destination,
                            bool timesEqual) {
    Outcome same = ComparePair("same", source, destination);
    EXPECT_TRUE(same.equal);
    EXPECT_EQ(same.timesEqual, timesEqual);
    EXPECT_EQ(same.out, Comparing("same"));
    Outcome diff = ComparePair("diff", source, destination);
    EXPECT_FALSE(diff.equal);
    EXPECT_EQ(diff.timesEqual, timesEqual);
    EXPECT_EQ(diff.out, Comparing("diff"));
  }
  // No file is read: even the equal pair's result is fixed, and no "comparing" line.
  void ExpectContentsNotRead(const DirectoryEntry& source, const DirectoryEntry& destination,
                             bool equal, bool timesEqual) {
    for (const char* pair : {"same", "diff"}) {
      Outcome outcome = ComparePair(pair, source, destination);
      EXPECT_EQ(outcome.equal, equal) << pair;
      EXPECT_EQ(outcome.timesEqual, timesEqual) << pair;
      EXPECT_EQ(outcome.out, "") << pair;
    }
  }

  TempDir dir_;
  DirectoryEntry agreeSource_ = File(kBase), agreeDestination_ = File(kBase + 3 * kTicks);
  DirectoryEntry differSource_ = File(kBase), differDestination_ = File(kBase + 10 * kTicks);
};

TEST_F(CompareTest, NoContentsOptionAndNoTimeComparison) {
  Options({L"-ct=n"});
  ExpectContentsNotRead(agreeSource_, agreeDestination_, true, true);
  // Times that differ make the pair no different, but the flag tells the metadata update.
  ExpectContentsNotRead(differSource_, differDestination_, true, false);
}

TEST_F(CompareTest, TimesDecideByDefault) {
  Options({});
  ExpectContentsNotRead(agreeSource_, agreeDestination_, true, true);
  ExpectContentsNotRead(differSource_, differDestination_, false, false);
}

TEST_F(CompareTest, TimeCompareContentsReadsOnlyWhenTimesDiffer) {
  Options({L"-tcc", L"-ct=n"});
  ExpectContentsNotRead(agreeSource_, agreeDestination_, true, true);
  ExpectContentsDecide(differSource_, differDestination_, false);
}

TEST_F(CompareTest, CompareContentsWithoutTimes) {
  Options({L"-cc", L"-ct=n"});
  ExpectContentsDecide(agreeSource_, agreeDestination_, true);
  ExpectContentsDecide(differSource_, differDestination_, false);
}

TEST_F(CompareTest, CompareContentsWithTimesSkipsTheReadWhenTimesDiffer) {
  Options({L"-cc"});
  ExpectContentsDecide(agreeSource_, agreeDestination_, true);
  ExpectContentsNotRead(differSource_, differDestination_, false, false);
}

TEST_F(CompareTest, BothContentsOptions) {
  Options({L"-cc", L"-tcc"});
  ExpectContentsDecide(agreeSource_, agreeDestination_, true);
  ExpectContentsDecide(differSource_, differDestination_, false);
}

TEST_F(CompareTest, ComparingLineFollowsItsOptions) {
  Options({L"-cc", L"-lcc=n"});
  Outcome outcome = ComparePair("diff", agreeSource_, agreeDestination_);
  EXPECT_FALSE(outcome.equal);
  EXPECT_EQ(outcome.out, "");
  Options({L"-cc", L"-ll"});
  outcome = ComparePair("same", agreeSource_, agreeDestination_);
  EXPECT_TRUE(outcome.equal);
  EXPECT_EQ(outcome.out, Console(TempDir::PathText(dir_.path() / "same.dst") + "\n"));
  // A file that cannot be opened makes the pair different, silently.
  Options({L"-cc"});
  outcome = CompareMissing(agreeSource_, agreeDestination_);
  EXPECT_FALSE(outcome.equal);
  EXPECT_EQ(outcome.out, LogLine("comparing", kMissingDestinationText));
}

TEST_F(CompareTest, DifferentSizesDecideBeforeTimes) {
  Options({L"-ltd", L"-cc"});
  for (const DirectoryEntry& destination :
       {File(kBase + 100 * kTicks, 6), File(kBase, 6), File(kBase, 5 + (1ULL << 32))}) {
    Outcome outcome = ComparePair("same", File(kBase), destination);
    EXPECT_FALSE(outcome.equal);
    EXPECT_TRUE(outcome.timesEqual);
    EXPECT_EQ(outcome.out, "");
  }
  // Without compare-size the sizes play no part.
  Options({L"-ltd", L"-cs=n"});
  Outcome outcome = CompareMissing(File(kBase, 5), File(kBase, 6));
  EXPECT_TRUE(outcome.equal);
  EXPECT_EQ(outcome.out, LogLine("same time", kMissingDestinationText));
}

TEST_F(CompareTest, ArchiveBitOfTheSourceOnly) {
  Options({L"-ltd", L"-ca"});
  Outcome outcome =
      CompareMissing(File(kBase, 5, FILE_ATTRIBUTE_ARCHIVE), File(kBase + 100 * kTicks));
  EXPECT_FALSE(outcome.equal);
  EXPECT_TRUE(outcome.timesEqual);
  EXPECT_EQ(outcome.out, "");
  outcome = CompareMissing(File(kBase, 5, FILE_ATTRIBUTE_READONLY),
                           File(kBase, 5, FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_TRUE(outcome.equal);
  EXPECT_EQ(outcome.out, LogLine("same time", kMissingDestinationText));
  Options({});
  outcome = CompareMissing(File(kBase, 5, FILE_ATTRIBUTE_ARCHIVE), File(kBase));
  EXPECT_TRUE(outcome.equal);
}

TEST_F(CompareTest, PrecisionIsInclusiveInWholeSeconds) {
  Options({L"-ltd"});
  Outcome outcome = CompareMissing(File(kBase), File(kBase + 6 * kTicks - 1));
  EXPECT_TRUE(outcome.equal);
  EXPECT_TRUE(outcome.timesEqual);
  EXPECT_EQ(outcome.out,
            Console("dest more recent by 5 second(s)   " + kMissingDestinationText + "\n"));
  outcome = CompareMissing(File(kBase), File(kBase + 6 * kTicks));
  EXPECT_FALSE(outcome.equal);
  EXPECT_FALSE(outcome.timesEqual);
  EXPECT_EQ(outcome.out,
            Console("dest more recent by 6 second(s)   " + kMissingDestinationText + "\n"));
  outcome = CompareMissing(File(kBase + 6 * kTicks), File(kBase));
  EXPECT_FALSE(outcome.equal);
  EXPECT_EQ(outcome.out,
            Console("source more recent by 6 second(s)   " + kMissingDestinationText + "\n"));
  outcome = CompareMissing(File(kBase + 1 * kTicks), File(kBase));
  EXPECT_TRUE(outcome.equal);
  EXPECT_EQ(outcome.out,
            Console("source more recent by 1 second(s)   " + kMissingDestinationText + "\n"));
  // Precision 0: only a difference below one second agrees.
  Options({L"-ltd", L"-tp=0"});
  outcome = CompareMissing(File(kBase), File(kBase + kTicks - 1));
  EXPECT_TRUE(outcome.equal);
  EXPECT_EQ(outcome.out, LogLine("same time", kMissingDestinationText));
  outcome = CompareMissing(File(kBase), File(kBase + kTicks));
  EXPECT_FALSE(outcome.equal);
  EXPECT_FALSE(outcome.timesEqual);
  // A negative precision counts as 0.
  Options({L"-tp=-5"});
  EXPECT_FALSE(CompareMissing(File(kBase + kTicks), File(kBase)).equal);
  EXPECT_TRUE(CompareMissing(File(kBase + kTicks - 1), File(kBase)).equal);
}

TEST_F(CompareTest, SameTimeLineBelowOneSecondKeepsItsLabel) {
  Options({L"-ltd"});
  Outcome outcome = CompareMissing(File(kBase), File(kBase));
  EXPECT_EQ(outcome.out, LogLine("same time", kMissingDestinationText));
  outcome = CompareMissing(File(kBase + kTicks - 1), File(kBase));
  EXPECT_EQ(outcome.out, LogLine("same time", kMissingDestinationText));
  EXPECT_TRUE(outcome.equal);
  Options({L"-ltd", L"-ll"});
  outcome = CompareMissing(File(kBase), File(kBase + 1));
  EXPECT_EQ(outcome.out, LogLine("same time", kMissingDestinationText));
  outcome = CompareMissing(File(kBase), File(kBase + 7 * kTicks));
  EXPECT_EQ(outcome.out,
            Console("dest more recent by 7 second(s)   " + kMissingDestinationText + "\n"));
  // Without log-time-diff nothing is written.
  Options({});
  EXPECT_EQ(CompareMissing(File(kBase), File(kBase + 7 * kTicks)).out, "");
}

TEST_F(CompareTest, TimeLineAndFlagAlsoWithoutCompareTime) {
  Options({L"-ltd", L"-ct=n"});
  Outcome outcome = CompareMissing(File(kBase + 20 * kTicks), File(kBase));
  EXPECT_TRUE(outcome.equal);
  EXPECT_FALSE(outcome.timesEqual);
  EXPECT_EQ(outcome.out,
            Console("source more recent by 20 second(s)   " + kMissingDestinationText + "\n"));
}

TEST_F(CompareTest, ShiftAppliesToTheDestinationOnly) {
  Options({L"-ltd", L"-ts=3600"});
  Outcome outcome = CompareMissing(File(kBase), File(kBase - 3600 * kTicks));
  EXPECT_TRUE(outcome.equal);
  EXPECT_TRUE(outcome.timesEqual);
  EXPECT_EQ(outcome.out, LogLine("same time", kMissingDestinationText));
  outcome = CompareMissing(File(kBase), File(kBase + 3600 * kTicks));
  EXPECT_FALSE(outcome.equal);
  EXPECT_FALSE(outcome.timesEqual);
  EXPECT_EQ(outcome.out,
            Console("dest more recent by 7200 second(s)   " + kMissingDestinationText + "\n"));
  outcome = CompareMissing(File(kBase), File(kBase));
  EXPECT_FALSE(outcome.equal);
  EXPECT_EQ(outcome.out,
            Console("dest more recent by 3600 second(s)   " + kMissingDestinationText + "\n"));
  // A negative shift moves the destination back.
  Options({L"-ltd", L"-ts=-60"});
  outcome = CompareMissing(File(kBase), File(kBase + 60 * kTicks + 2 * kTicks));
  EXPECT_TRUE(outcome.equal);
  EXPECT_EQ(outcome.out,
            Console("dest more recent by 2 second(s)   " + kMissingDestinationText + "\n"));
}

TEST_F(CompareTest, DifferenceBeyondThirtyTwoBitsIsLoggedByItsLowBits) {
  Options({L"-ltd"});
  const uint64_t wrap = 1ULL << 32;  // seconds
  Outcome outcome = CompareMissing(File(kBase), File(kBase + (wrap + 5) * kTicks));
  EXPECT_EQ(outcome.out,
            Console("dest more recent by 5 second(s)   " + kMissingDestinationText + "\n"));
  // The comparison itself uses the whole difference.
  EXPECT_FALSE(outcome.equal);
  EXPECT_FALSE(outcome.timesEqual);
  outcome = CompareMissing(File(kBase + wrap * kTicks), File(kBase));
  EXPECT_EQ(outcome.out,
            Console("source more recent by 0 second(s)   " + kMissingDestinationText + "\n"));
  EXPECT_FALSE(outcome.equal);
}

TEST_F(CompareTest, ContentsComparedToTheEnd) {
  // Longer than one block, differing in the last byte only.
  std::string block(5000, 'x');
  WriteTextFile(dir_.path() / "long.src", block);
  block.back() = 'y';
  WriteTextFile(dir_.path() / "long.dst", block);
  WriteTextFile(dir_.path() / "empty.src", "");
  WriteTextFile(dir_.path() / "empty.dst", "");
  WriteTextFile(dir_.path() / "prefix.src", "hello");
  WriteTextFile(dir_.path() / "prefix.dst", "hello!");
  auto contentsEqual = [&](const char* pair) {
    CapturedConsole console;
    return CompareContents(WidePath(dir_.path() / (std::string(pair) + ".src")).c_str(),
                           WidePath(dir_.path() / (std::string(pair) + ".dst")).c_str());
  };
  EXPECT_FALSE(contentsEqual("long"));
  EXPECT_TRUE(contentsEqual("empty"));
  EXPECT_FALSE(contentsEqual("prefix"));
  EXPECT_TRUE(contentsEqual("same"));
  EXPECT_FALSE(contentsEqual("missing"));
}

}  // namespace
