// The comparison of a file pair: the size, archive and time tests, the time-difference lines,
// and when the contents decide, compared to the end.
#include <tuple>

#include "program_state.h"
#include "sync/compare.h"

namespace {

// A file entry stamped this long after (or before) a time in 2019.
DirectoryEntry At(int64_t offset, uint64_t size = 5, uint32_t attributes = 0) {
  return Entry(L"f", attributes, 132000000000000000ULL + offset, size);
}

// Equal?, TimesEqual, the standard output.
using Outcome = std::tuple<bool, bool, std::string>;

// The pair compared by default names nothing: a comparison that opened it would find it
// different, and would write a line.
const std::string kMissing = std::string("no-such-directory") + kSeparator + "f";
const std::string kSameTime = LogLine("same time", kMissing);
std::string Later(const std::string& side, const std::string& seconds) {
  return Console(side + " more recent by " + seconds + " second(s)   " + kMissing + "\n");
}

Outcome Compare(const DirectoryEntry& source, const DirectoryEntry& destination,
                const fs::path& s = kMissing, const fs::path& d = kMissing) {
  CapturedConsole console;
  OpenDirectory directories[2];
  OpenRootDirectory(WidePath(s.parent_path()).c_str(), &directories[0]);
  OpenRootDirectory(WidePath(d.parent_path()).c_str(), &directories[1]);
  bool timesEqual = false;
  bool equal =
      CompareFiles(directories[0], directories[1], WidePath(d), source, destination, timesEqual);
  EXPECT_EQ(console.err(), "");
  return {equal, timesEqual, console.out()};
}

using CompareTest = ProgramStateTest;

TEST_F(CompareTest, WhenTheContentsDecide) {
  // Pairs whose entries say the same size: equal, differing in a byte, differing only in the
  // last byte, which is in the second block, empty.
  TempDir dir;
  const std::string block(4999, 'x');
  // clang-format off
  const std::tuple<std::string, std::string, bool> pairs[] = {
      {"hello", "hello", true}, {"hello", "hellp", false}, {block + "x", block + "y", false},
      {"", "", true}};
  // Options; then the result with times 3 s apart and with times 10 s apart: Equal, Different,
  // or the Contents decide.
  const std::pair<Strings, const char*> rows[] = {
      {{L"-ct=n"}, "EE"}, {{}, "ED"}, {{L"-tcc", L"-ct=n"}, "EC"}, {{L"-cc", L"-ct=n"}, "CC"},
      {{L"-cc"}, "CD"}, {{L"-cc", L"-tcc"}, "CC"}};
  // clang-format on
  for (const auto& [source, destination, same] : pairs) {
    const fs::path s = dir.path() / "s" / "f", d = dir.path() / "d" / "f";
    MakeFile(s, source);
    MakeFile(d, destination);
    for (const auto& [options, results] : rows) {
      Derive(options);
      for (int differ = 0; differ < 2; differ++)  // 'C': compared, and logged as compared
        EXPECT_EQ(Compare(At(0), At((differ ? 10 : 3) * kSecond), s, d),
                  (Outcome{results[differ] == 'E' || (results[differ] == 'C' && same), !differ,
                           results[differ] == 'C' ? LogLine("comparing", PathText(d)) : ""}))
            << destination.substr(0, 5) << " " << results[differ] << " " << options.size();
    }
  }
}

TEST_F(CompareTest, SizeArchiveAndTimeTestsAndTheTimeLines) {
  // Options besides -ltd; the source; the destination; the outcome.
  // clang-format off
  const std::tuple<Strings, DirectoryEntry, DirectoryEntry, Outcome> cases[] = {
      // A different size, or the source's archive bit, decides before the times are looked at.
      {{L"-cc", L"-ca"}, At(0), At(100 * kSecond, 6), {false, true, ""}},
      {{L"-cc", L"-ca"}, At(0), At(100 * kSecond, 5 + (1ULL << 32)), {false, true, ""}},
      {{L"-cc", L"-ca"}, At(0, 5, kAttributeArchive), At(100 * kSecond), {false, true, ""}},
      // The destination's archive bit plays no part.
      {{L"-ca"}, At(0), At(0, 5, kAttributeArchive), {true, true, kSameTime}},
      // The precision is inclusive, in whole seconds (6 s apart differ: the random trees show it).
      {{}, At(0), At(6 * kSecond - 1), {true, true, Later("dest", "5")}},
      // Beyond 32 bits the count is logged by its low bits; the comparison uses the whole.
      {{}, At(((1LL << 32) + 5) * kSecond), At(0), {false, false, Later("source", "5")}},
      // Below one second "same time" is written with its label, under log-list too.
      {{L"-ll", L"-tp=0"}, At(kSecond - 1), At(0), {true, true, kSameTime}},
      {{L"-ll", L"-tp=0"}, At(kSecond), At(0), {false, false, Later("source", "1")}},
      // The shift moves the destination time only.
      {{L"-ts=3600"}, At(0), At(-3600 * kSecond), {true, true, kSameTime}}};
  // clang-format on
  for (auto [options, source, destination, outcome] : cases) {
    options.push_back(L"-ltd");
    Derive(options);
    EXPECT_EQ(Compare(source, destination), outcome) << Narrow(options[0]);
  }
}

// A correction writes the modelled bits and keeps the others; shared holes are skipped only
// between two sparse files neither of which is a placeholder.
TEST(AttributeRules, CorrectionsKeepOtherBitsAndPlaceholdersHaveNoHoles) {
  const uint32_t kSparse = kAttributeSparse, kUnindexed = kAttributeNotIndexed,
                 kOffline = kAttributeOffline, kOnOpen = kAttributeRecallOnOpen,
                 kOnAccess = kAttributeRecallOnDataAccess, kArchive = kAttributeArchive,
                 kHidden = kAttributeHidden, kReadOnly = kAttributeReadOnly;
  // The current word, the wanted one, the word written.
  const uint32_t corrections[][3] = {
      {kUnindexed | kArchive, kHidden, kUnindexed | kHidden},
      {kOffline | kReadOnly, kUnindexed | kAttributeSystem, kOffline | kAttributeSystem},
      {kAttributeDirectory | kAttributeReparsePoint | kOnOpen | kOnAccess | kSparse, 0,
       kAttributeNormal}};
  for (const auto& [current, wanted, written] : corrections)
    EXPECT_EQ(CorrectedAttributeWord(current, wanted), written) << current;
  // Source and destination: holes are skipped for the first pair alone.
  const uint32_t pairs[][2] = {{kSparse, kSparse | kUnindexed},
                               {kSparse, 0},
                               {0, kSparse},
                               {kSparse | kOffline, kSparse},
                               {kSparse, kSparse | kOnOpen},
                               {kSparse | kOnAccess, kSparse}};
  for (size_t i = 0; i < std::size(pairs); i++)
    EXPECT_EQ(SkipsSharedHoles(pairs[i][0], pairs[i][1]), i == 0) << i;
}

}  // namespace
