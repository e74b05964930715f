// Random pairs of trees: a generator driven by a 64-bit seed (the same trees on every build),
// the destination a run must leave, and trees written to and read back from disk.
//
// RandomTrees: one run (-lh=n, default options) makes the destination hold the source's names,
// contents, times and stored attribute bits; a second run writes nothing. Each case comes from a
// seed, printed on failure; TANDREL_RANDOM_SEED=<seed> reruns that case alone.
//
// FaultWalk: every platform call fails in turn (native builds with fault injection). A clean run
// from a pair of random trees counts N calls; for each k in 1..N a run from the same trees with
// call k failing keeps the source, leaves each destination entry as it was or as a good run
// leaves it, deletes only what it announced, reports a failure exactly when it leaves work
// undone, ends normally, and the next run completes the mirror.
//
// FaultPoints: every call of a clean run, named by its place rather than its ordinal, fails in
// turn with one thread and with four, and both runs write and leave exactly the same.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <tuple>

#include "tandrel_test.h"

// No two differ in punctuation alone, so names pair exactly when they differ in letter case
// alone (on Windows).
const std::vector<std::string> kNames = {"a",         "b",          "C",       "Data",
                                         "notes.txt", "x.y.z",      "it's",    "-dash",
                                         "--help",    "Report.TXT", ".hidden", "with space.txt"};
// POSIX only: a quote, characters Windows refuses, names that are not UTF-8 (a lone byte,
// Latin-1, an encoded surrogate, an overlong slash), UTF-8 beyond ASCII, spaces at the ends.
const std::vector<std::string> kPosixNames = {
    "\"quoted\"", "\xff\xfe",  "caf\xe9",     "\xed\xb2\x80", "\xc0\xaf", "\xc3\xa9t\xc3\xa9",
    "st*ar",      "tab\tname", " lead space", "trail space ", "-",        "--"};
const std::vector<size_t> kSizes = {0, 0, 1, 100, 4095, 4096, 4097, 8192};
// Equal up to 6 seconds apart less one unit (precision 5 s, in whole seconds).
const std::vector<uint64_t> kTimeDifferences = {
    0, 0, 1, 5 * kSecond, 6 * kSecond - 1, 6 * kSecond, 400 * 86400 * kSecond};
const std::vector<uint32_t> kAttributes = {0, 0, 0, kAttributeReadOnly, kAttributeHidden, kStored};

// Fills pairs of trees from a seed (the engine's sequence is the same on every build).
struct Generator {
  std::mt19937_64 engine;
  int budget;
  Tree source = {}, destination = {};
  uint64_t Below(uint64_t bound) { return engine() % bound; }
  bool Chance(unsigned percent) { return Below(100) < percent; }
  template <class T>
  T Pick(const std::vector<T>& values) {
    return values[Below(values.size())];
  }

  // Fills from (source) and to (destination), or the tree `only` alone: entries on one side
  // only, a file facing a directory, directory pairs, and file pairs that differ or not in size,
  // contents, time and attributes. On Windows the destination's name may differ in case; on the
  // POSIX build names that differ in case alone are entries of their own.
  void Fill(const std::string& from, const std::string& to, int depth, Tree* only = nullptr) {
    for (auto n = 2 + Below(depth == 0 ? 10 : 4); n > 0 && budget > 0; n--, budget--) {
      std::string name = Pick(!kWindowsBuild && Chance(30) ? kPosixNames : kNames);
      name = (!kWindowsBuild && Chance(30) ? Flip(name) : name) +
             (Chance(35) ? std::to_string(Below(10)) : "");
      if (source.count(Key(from + name)) || destination.count(Key(to + name)))
        continue;
      std::string s = from + name,
                  d = to + (kWindowsBuild && !only && Chance(25) ? Flip(name) : name);
      uint64_t kind = only ? 0 : Below(10);
      if (kind < 2) {
        Tree& side = only ? *only : kind ? source : destination;
        OneSide(side, kind ? s : d, depth, depth < 3 && Chance(30));
      } else if (kind == 2) {
        bool fileInSource = Chance(50);
        Add(fileInSource ? source : destination, fileInSource ? s : d, false);
        OneSide(fileInSource ? destination : source, fileInSource ? d : s, depth, true);
      } else if (kind < 5 && depth < 3) {
        Add(source, s, true);
        Add(destination, d, true);
        Fill(s + kSeparator, d + kSeparator, depth + 1);
      } else {
        TreeEntry &a = Add(source, s, false), &b = Add(destination, d, false);
        uint64_t difference = Pick(kTimeDifferences), how = Below(3);
        b.time = Chance(50) ? a.time + difference : a.time - difference;
        b.contents = how < 2 ? a.contents : b.contents;
        if (how == 1 && !b.contents.empty())  // the same size, the last byte differs
          b.contents.back() ^= 1;
        b.attributes = Chance(60) ? a.attributes : b.attributes;
      }
    }
  }
  // A file, or a directory with entries below it, on one side only.
  void OneSide(Tree& tree, const std::string& path, int depth, bool directory) {
    if (Add(tree, path, directory).directory)
      Fill(path + kSeparator, path + kSeparator, depth + 1, &tree);
  }

  std::string Flip(std::string name) {  // the case of some letters
    for (char& c : name)
      c = static_cast<char>((c | 0x20) >= 'a' && (c | 0x20) <= 'z' && Chance(50) ? c ^ 0x20 : c);
    return name;
  }

  // The POSIX build keeps read-only for files alone; a name beginning with "." is hidden.
  TreeEntry& Add(Tree& tree, const std::string& path, bool directory) {
    std::string contents(directory ? 0 : Pick(kSizes), 0);
    for (char& c : contents) c = static_cast<char>(engine());
    bool dot = path[path.rfind(kSeparator[0]) + 1] == '.';
    return tree[Key(path)] = {
               path, directory, contents, directory ? 0 : kFileTime + Below(700 * 86400 * kSecond),
               (Pick(kAttributes) & ~(directory ? uint32_t{kAttributeReadOnly} : 0)) |
                   (dot ? kAttributeHidden : 0)};
  }
};

// What the destination must hold: a file pair of one size and times less than 6 s apart is equal
// and keeps the destination's contents and time; all else arrives as an exact copy.
static Tree Settled(const Tree& source, const Tree& destination) {
  Tree result = source;
  for (auto& [key, want] : result) {
    auto found = destination.find(key);
    const TreeEntry& have = found == destination.end() ? want : found->second;
    if (!want.directory && !have.directory && want.contents.size() == have.contents.size() &&
        std::max(want.time, have.time) - std::min(want.time, have.time) < 6 * kSecond)
      want = {want.path, false, have.contents, have.time, want.attributes};
  }
  return result;
}

static void Materialize(const fs::path& root, const Tree& tree) {
  fs::create_directories(root);
  for (const auto& [key, entry] : tree) {
    fs::path path = root / fs::path(entry.path);
    if (!entry.directory)
      MakeFile(path, entry.contents, entry.time, entry.attributes);
    else if (fs::create_directory(path) && entry.attributes != 0)
      SetAttributes(path, entry.attributes);
  }
}

// One line per entry: path, kind, size, hash of the contents, time and attributes.
static std::string Text(const Tree& tree, bool foldCase = false) {
  std::string text;
  for (const auto& [key, e] : tree)
    text += (foldCase ? key : e.path) + ' ' + std::to_string(e.directory) + ' ' +
            std::to_string(e.contents.size()) + ' ' +
            std::to_string(std::hash<std::string>()(e.contents)) + ' ' + std::to_string(e.time) +
            ' ' + std::to_string(e.attributes) + '\n';
  return text;
}

TEST(RandomTrees, OneRunMakesTheDestinationEqualAndTheNextHasNothingToDo) {
  TempDir scratch;
  const char* chosen = std::getenv("TANDREL_RANDOM_SEED");
  const bool one = chosen != nullptr && chosen[0] != 0, wine = RunningUnderWine();
  for (uint64_t i = 0; i < (one ? 1 : wine ? 20 : 300) && !testing::Test::HasFailure(); i++) {
    uint64_t seed = one ? std::strtoull(chosen, nullptr, 0) : 0x7A4D2E1B00000000ULL + i;
    const std::string seedText = std::to_string(seed);
    SCOPED_TRACE("seed " + seedText + ", rerun with TANDREL_RANDOM_SEED=" + seedText);
    Generator trees{std::mt19937_64(seed), kWindowsBuild ? 22 : 30};
    trees.Fill("", "", 0);
    const fs::path s = scratch.path() / seedText / "s", d = scratch.path() / seedText / "d";
    Materialize(s, trees.source);
    const Tree settled = Settled(trees.source, trees.destination);
    const std::vector<std::string> arguments = {PathText(s), PathText(d), "-lh=n"};
    // Each number of threads logs, reports and leaves exactly what one thread does (last).
    std::string results[3];
    RunResult first;
    for (int k = 0; k < 3; k++) {
      RemovedAtEnd{d};  // read-only entries too
      Materialize(d, trees.destination);
      first = RunTandrel({PathText(s), PathText(d), "-lh=n",
                          k == 0   ? "-j=8"
                          : k == 1 ? "-j=2"
                                   : "-j=1"});
      results[k] = std::to_string(first.exitCode) + first.out + first.err + Text(ReadBack(d));
    }
    EXPECT_TRUE(results[2] == results[0] && results[2] == results[1]) << "-j=8, -j=2 and -j=1";
    EXPECT_EQ(std::to_string(first.exitCode) + first.err, "0");
    // On Windows a copy over a file keeps its name (under Wine its attributes too) and Wine gives
    // new directories no attributes: run 2 may write "meta" lines, and nothing else; what it
    // leaves is what run 1 left. Wine never changes a name's case.
    RunResult second = RunTandrel(arguments);
    std::string unexpected = std::to_string(second.exitCode) + second.err;
    for (const auto& line : Lines(second.out, true))
      unexpected +=
          kWindowsBuild && line.rfind(LogLine("meta", "").substr(0, 12), 0) == 0 ? "" : line;
    EXPECT_EQ(unexpected, "0") << "run 2 wrote:\n" << second.out;
    EXPECT_EQ(Text(ReadBack(d), wine), Text(settled, wine)) << "destination at last";
    EXPECT_EQ(Text(ReadBack(s)), Text(trees.source)) << "the source is only read";
  }
}

#if !TANDREL_FAULT_INJECTION
TEST(FaultWalk, NoFailureLosesDataOrPassesForSuccess) {
  GTEST_SKIP() << "This build has no fault injection (the native-asan preset has it)";
}
#else
namespace {

// The seed of the trees, the options, the injected errno's name.
using FaultCase = std::tuple<uint64_t, std::vector<std::string>, std::string>;

const TreeEntry* Find(const Tree& tree, const std::string& key) {
  return tree.count(key) ? &tree.at(key) : nullptr;
}
// Two entries alike in name, kind, contents, time and attributes.
bool Same(const TreeEntry* a, const TreeEntry* b) {
  return a && b && *a == *b;
}

class FaultWalk : public testing::TestWithParam<FaultCase> {};

TEST_P(FaultWalk, NoFailureLosesDataOrPassesForSuccess) {
  const auto& [seed, options, error] = GetParam();
  TempDir scratch;
  const fs::path s = scratch.path() / "s", d = scratch.path() / "d", count = scratch.path() / "n";
  Generator trees{std::mt19937_64(seed), 12};
  trees.Fill("", "", 0);
  // One thread unless the case gives more: each call's ordinal is then one place in the run.
  // With more, a failed call is somewhere near that place, and the run must keep to the same.
  std::vector<std::string> arguments = {s.native(), d.native(), "-lh=n", "-j=1"};
  arguments.insert(arguments.end(), options.begin(), options.end());
  const bool unsetArchive = std::count(options.begin(), options.end(), "-ua") > 0;
  const uint32_t mask = kStored | kAttributeArchive;
  setenv("TANDREL_FAIL_ERRNO", error.c_str(), 1);
  setenv("TANDREL_COUNT_CALLS", count.c_str(), 1);
  Tree sourceBefore, destinationBefore;
  long calls = 0;
  std::string failed, word;  // the failed call's name, for getdents64 with its place
  // A run from the trees as generated, with call k failing (0: none), that counts the calls.
  auto run = [&](long k) {
    for (const fs::path& root : {s, d}) fs::remove_all(root);
    Materialize(s, trees.source);
    Materialize(d, trees.destination);
    sourceBefore = ReadBack(s, mask);
    destinationBefore = ReadBack(d, mask);
    setenv("TANDREL_FAIL_CALL", std::to_string(k).c_str(), 1);
    RunResult result = RunTandrel(arguments);
    unsetenv("TANDREL_FAIL_CALL");
    std::ifstream in(count);
    failed.clear();
    in >> word >> calls >> word;
    std::getline(in >> std::ws, failed);
    return result;
  };
  RunResult clean = run(0);
  ASSERT_EQ(clean.exitCode, 0) << clean.err;
  ASSERT_GT(calls, 0) << "no call was counted";
  const Tree settled = ReadBack(d, mask);
  for (const char* label : {"add ", "update ", "delete ", "delete dir ", "meta "})
    EXPECT_NE(clean.out.find(LogLine(label, "").substr(0, 12)), std::string::npos) << label;
  // As a clean run leaves it, or (under -cc, after a comparison that failed) a copy of its source.
  auto mirrored = [&](const TreeEntry& now, const std::string& key) {
    return Same(&now, Find(settled, key)) || Same(&now, Find(sourceBefore, key));
  };
  auto complete = [&](const Tree& tree) {
    bool all = tree.size() == settled.size();
    for (const auto& [key, now] : tree) all = all && mirrored(now, key);
    return all;
  };
  std::set<std::string> brokenListings;
  for (long k = 1, n = calls; k <= n && !testing::Test::HasFailure(); k++) {
    RunResult r = run(k);
    SCOPED_TRACE("call " + std::to_string(k) + " (" + failed + ") failing; out:\n" + r.out +
                 "err:\n" + r.err);
    // Ends normally; exit code 1 exactly after a report, and a silent run did all its work.
    ASSERT_EQ(r.exitCode, r.err.empty() ? 0 : 1);
    const Tree sourceAfter = ReadBack(s, mask), after = ReadBack(d, mask);
    EXPECT_TRUE(!r.err.empty() || complete(after)) << "a silent run left work undone";
    // The source is only read; the archive attribute goes with a good copy alone.
    EXPECT_EQ(sourceAfter.size(), sourceBefore.size());
    for (auto [key, was] : sourceBefore) {
      const TreeEntry *now = Find(sourceAfter, key), *copy = Find(after, key);
      bool same = Same(now, &was),
           copied = was.directory || Same(copy, Find(settled, key)) || Same(copy, &was);
      was.attributes &= ~uint32_t{kAttributeArchive};
      EXPECT_TRUE(same || (unsetArchive && copied && Same(now, &was))) << "source " << key;
    }
    // Deletions announced (an entry below a deleted directory goes with it); every entry as it
    // was or as a good run leaves it; no temporary file but one whose own removal failed.
    std::set<std::string> deleted;
    const size_t at = 12 + d.native().size() + 1;  // after the label, the root and "/"
    for (const std::string& line : Lines(r.out, true))
      if (line.rfind("delete", 0) == 0)
        deleted.insert(line.substr(at, line.size() - at - 1));
    for (const auto& [key, was] : destinationBefore) {
      const TreeEntry* now = Find(after, key);
      if (deleted.count(key.substr(0, key.rfind('/'))) > 0)
        deleted.insert(key);
      EXPECT_TRUE((now && now->directory == was.directory) || deleted.count(key) > 0)
          << "deleted " << key;
    }
    for (const auto& [key, now] : after)
      EXPECT_TRUE(Same(&now, Find(destinationBefore, key)) || mirrored(now, key) ||
                  (now.path.find(".tandrel-") != std::string::npos && failed == "unlinkat"))
          << "destination " << key;
    // A directory read that breaks off after some entries is a failed listing: DeleteTree keeps
    // the directory, CopyNewTree leaves the archive bit of its source.
    const std::string browse = "Unable to browse directory ";
    if (failed.rfind("getdents64 ", 0) == 0 && std::stol(failed.substr(11)) > 1) {
      ASSERT_EQ(r.err.rfind(browse, 0), 0u);
      std::string line = r.err.substr(0, r.err.find(": "));
      // The two roots are of one length.
      std::string key = line.substr(std::min(line.size(), browse.size() + d.native().size() + 1));
      bool inDestination = line.rfind(browse + d.native(), 0) == 0;
      const TreeEntry *a = Find(sourceBefore, key), *b = Find(destinationBefore, key);
      const char* kind = key.empty() || (a && b && a->directory && b->directory) ? "listing"
                         : inDestination                                         ? "DeleteTree"
                                                                                 : "CopyNewTree";
      brokenListings.insert(kind);
      EXPECT_TRUE(kind[0] == 'l' ||
                  (inDestination ? Find(after, key) != nullptr : Same(Find(sourceAfter, key), a)))
          << kind;
    }
    // The next run completes the mirror (the random-tree test shows that a run after it has
    // nothing to do).
    RunResult next = RunTandrel(arguments);
    EXPECT_TRUE(next.exitCode == 0 && complete(ReadBack(d, mask))) << "the next run: " << next.err;
  }
  // With one thread the walk breaks off every kind of listing (with more, an ordinal falls where
  // the threads put it).
  if (std::count(options.begin(), options.end(), "-j=4") == 0) {
    EXPECT_EQ(brokenListings, (std::set<std::string>{"CopyNewTree", "DeleteTree", "listing"}));
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, FaultWalk,
                         testing::Values(FaultCase{10, {"-ua", "-cc"}, "EIO"},
                                         FaultCase{18, {}, "ENOSPC"}, FaultCase{50, {}, "EACCES"},
                                         FaultCase{18, {"-dt", "-xa", "-hl", "-sl"}, "EIO"},
                                         FaultCase{10, {"-ua", "-cc", "-j=4"}, "EIO"}));

// Failures named by their place (the Nth call of a kind on one path): one thread and four give
// the same log and reports, in the same order, the same exit code and trees for each.
TEST(FaultPoints, EachFailureGivesTheSameRunWhateverTheThreads) {
  TempDir scratch;
  const fs::path s = scratch.path() / "s", d = scratch.path() / "d", list = scratch.path() / "l";
  Generator trees{std::mt19937_64(18), 12};
  trees.Fill("", "", 0);
  auto run = [&](const std::string& point, const char* threads) {
    for (const fs::path& root : {s, d}) fs::remove_all(root);
    Materialize(s, trees.source);
    Materialize(d, trees.destination);
    setenv("TANDREL_FAIL_POINT", point.c_str(), 1);
    // Both streams on one terminal: each report in its place among the log lines.
    RunResult r = RunTandrel({s.native(), d.native(), "-lh=n", "-cc", threads}, {}, 80);
    return std::to_string(r.exitCode) + r.out + Text(ReadBack(d));
  };
  setenv("TANDREL_TEMPORARY_NAME", "*", 1);  // each copy's own, whatever the order of copies
  setenv("TANDREL_LIST_POINTS", list.c_str(), 1);
  run("", "-j=1");
  unsetenv("TANDREL_LIST_POINTS");
  std::map<std::string, long> seen;
  std::ifstream in(list);
  int tried = 0;
  for (std::string line; std::getline(in, line) && !testing::Test::HasFailure();) {
    const std::string point = line + " " + std::to_string(++seen[line]);
    if (line.find(scratch.str()) == std::string::npos)
      continue;  // the program's own start: the roots' parents
    tried++;
    EXPECT_EQ(run(point, "-j=4"), run(point, "-j=1")) << point;
  }
  EXPECT_GT(tried, 100);
  unsetenv("TANDREL_FAIL_POINT");
  unsetenv("TANDREL_TEMPORARY_NAME");
}

}  // namespace
#endif
