// The comparison of a file pair: the size, archive and time tests, the time-difference lines,
// and when the contents decide.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "capture.h"
#include "program_state.h"
#include "sync/compare.h"

namespace {

// A file entry stamped this long after (or before) a time in 2019.
DirectoryEntry At(int64_t offset, uint64_t size = 5, DWORD attributes = 0) {
  return Entry(L"f", attributes, 132000000000000000ULL + offset, size);
}

// Equal?, TimesEqual, the standard output.
using Outcome = std::tuple<bool, bool, std::string>;

// A path that names nothing: a comparison that opened it would find the pair different.
const std::string kMissing = std::string("no-such-directory") + kSeparator + "f";

const std::string kSameTime = LogLine("same time", kMissing);
std::string Later(const char* side, const std::string& seconds) {
  return Console(std::string(side) + " more recent by " + seconds + " second(s)   " + kMissing +
                 "\n");
}

class CompareTest : public ProgramStateTest {
 protected:
  void SetUp() override {
    ProgramStateTest::SetUp();
    // Two pairs of files of the same size: one equal, one differing in a byte.
    for (const char* name : {"same.src", "same.dst", "diff.src"}) {
      WriteTextFile(dir_.path() / name, "hello");
    }
    WriteTextFile(dir_.path() / "diff.dst", "hellp");
  }
  std::wstring PathOf(const std::string& name) { return WidePath(dir_.path() / name); }
  // Compares the pair of files named (without a name, a missing file on both sides).
  Outcome Compare(const DirectoryEntry& source, const DirectoryEntry& destination,
                  const std::string& pair = "") {
    std::wstring s = pair.empty() ? WidePath(kMissing) : PathOf(pair + ".src");
    std::wstring d = pair.empty() ? WidePath(kMissing) : PathOf(pair + ".dst");
    CapturedConsole console;
    bool timesEqual = false;
    bool equal = CompareFiles(s.c_str(), d.c_str(), source, destination, timesEqual);
    EXPECT_EQ(console.err(), "");
    return {equal, timesEqual, console.out()};
  }
  TempDir dir_;
};

TEST_F(CompareTest, WhenTheContentsDecide) {
  // Options; then the result with times 3 s apart and with times 10 s apart: Equal, Different,
  // or the Contents decide.
  const std::pair<Strings, const char*> rows[] = {
      {{L"-ct=n"}, "EE"},         {{}, "ED"},       {{L"-tcc", L"-ct=n"}, "EC"},
      {{L"-cc", L"-ct=n"}, "CC"}, {{L"-cc"}, "CD"}, {{L"-cc", L"-tcc"}, "CC"}};
  for (const auto& [options, results] : rows) {
    Derive(options);
    for (int differ = 0; differ < 2; differ++) {
      for (const std::string pair : {"same", "diff"}) {
        SCOPED_TRACE(pair + " " + results[differ] + " " +
                     Narrow(options.empty() ? L"" : options[0]));
        std::string comparing = LogLine("comparing", Narrow(PathOf(pair + ".dst")));
        bool contents = results[differ] == 'C';
        EXPECT_EQ(Compare(At(0), At((differ ? 10 : 3) * kSecond), pair),
                  (Outcome{results[differ] == 'E' || (contents && pair == "same"), !differ,
                           contents ? comparing : ""}));
      }
    }
  }
}

TEST_F(CompareTest, SizeArchiveAndTimeTestsAndTheTimeLines) {
  // A different size, or the source's archive bit, decides before the times are looked at.
  Derive({L"-ltd", L"-cc", L"-ca"});
  for (uint64_t size : {6ULL, 5 + (1ULL << 32)}) {
    EXPECT_EQ(Compare(At(0), At(100 * kSecond, size), "same"), (Outcome{false, true, ""}));
  }
  EXPECT_EQ(Compare(At(0, 5, FILE_ATTRIBUTE_ARCHIVE), At(100 * kSecond)),
            (Outcome{false, true, ""}));
  Derive({L"-ltd", L"-ca"});  // the destination's archive bit plays no part
  EXPECT_EQ(Compare(At(0), At(0, 5, FILE_ATTRIBUTE_ARCHIVE)), (Outcome{true, true, kSameTime}));
  // The precision is inclusive, in whole seconds.
  Derive({L"-ltd"});
  EXPECT_EQ(Compare(At(0), At(6 * kSecond - 1)), (Outcome{true, true, Later("dest", "5")}));
  EXPECT_EQ(Compare(At(0), At(6 * kSecond)), (Outcome{false, false, Later("dest", "6")}));
  // Beyond 32 bits the count is logged by its low bits; the comparison uses the whole.
  EXPECT_EQ(Compare(At(((1LL << 32) + 5) * kSecond), At(0)),
            (Outcome{false, false, Later("source", "5")}));
  // Below one second "same time" is written with its label, under log-list too.
  Derive({L"-ltd", L"-ll", L"-tp=0"});
  EXPECT_EQ(Compare(At(kSecond - 1), At(0)), (Outcome{true, true, kSameTime}));
  EXPECT_EQ(Compare(At(kSecond), At(0)), (Outcome{false, false, Later("source", "1")}));
  // The shift moves the destination time only.
  Derive({L"-ltd", L"-ts=3600"});
  EXPECT_EQ(Compare(At(0), At(-3600 * kSecond)), (Outcome{true, true, kSameTime}));
  EXPECT_EQ(Compare(At(0), At(3600 * kSecond)), (Outcome{false, false, Later("dest", "7200")}));
}

TEST_F(CompareTest, ContentsComparedToTheEnd) {
  std::string block(5000, 'x');  // longer than one block, differing in the last byte only
  WriteTextFile(dir_.path() / "long.src", block);
  block.back() = 'y';
  WriteTextFile(dir_.path() / "long.dst", block);
  WriteTextFile(dir_.path() / "empty.src", "");
  WriteTextFile(dir_.path() / "empty.dst", "");
  CapturedConsole console;
  EXPECT_FALSE(CompareContents(PathOf("long.src").c_str(), PathOf("long.dst").c_str()));
  EXPECT_TRUE(CompareContents(PathOf("empty.src").c_str(), PathOf("empty.dst").c_str()));
}

}  // namespace
