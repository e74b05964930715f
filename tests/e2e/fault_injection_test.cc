// Every platform call fails in turn (native builds with fault injection). A clean run from a
// pair of random trees counts N calls; for each k in 1..N a run from the same trees with call k
// failing keeps the source, leaves each destination entry as it was or as a good run leaves it,
// deletes only what it announced, reports a failure exactly when it leaves work undone, ends
// normally, and the next run completes the mirror and the one after has nothing to do.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>

#include "random_trees.h"

#if !TANDREL_FAULT_INJECTION
TEST(FaultWalk, NoFailureLosesDataOrPassesForSuccess) {
  GTEST_SKIP() << "This build has no fault injection (the native-asan preset has it)";
}
#else
namespace {

struct FaultCase {
  uint64_t seed;
  int budget;
  std::vector<std::string> options;
  const char* error;  // the injected errno's name
};

struct Counted {
  RunResult run;
  long calls = 0;
  std::string failed;  // the failed call's name, for readdir with its place in the stream
};

Counted RunCounted(const fs::path& countFile, const std::vector<std::string>& arguments,
                   long failAt, const char* error) {
  setenv("TANDREL_FAIL_CALL", std::to_string(failAt).c_str(), 1);
  setenv("TANDREL_FAIL_ERRNO", error, 1);
  setenv("TANDREL_COUNT_CALLS", countFile.c_str(), 1);
  Counted counted;
  counted.run = RunTandrel(arguments);
  unsetenv("TANDREL_FAIL_CALL");
  std::ifstream in(countFile);
  std::string word;
  in >> word >> counted.calls >> word;
  std::getline(in >> std::ws, counted.failed);
  return counted;
}

// Two entries alike in name, kind, contents, time and attributes.
bool Same(const Entry* a, const Entry* b) {
  return a && b && Text(Tree{{"", *a}}) == Text(Tree{{"", *b}});
}
const Entry* Find(const Tree& tree, const std::string& key) {
  auto found = tree.find(key);
  return found == tree.end() ? nullptr : &found->second;
}
std::string Relative(const std::string& line, const std::string& root, size_t at) {
  return line.size() > at + root.size() + 1 ? line.substr(at + root.size() + 1) : "";
}

class FaultWalk : public testing::TestWithParam<FaultCase> {};

TEST_P(FaultWalk, NoFailureLosesDataOrPassesForSuccess) {
  const FaultCase& c = GetParam();
  TempDir scratch;
  const fs::path s = scratch.path() / "s", d = scratch.path() / "d", count = scratch.path() / "n";
  Generator trees{Random{std::mt19937_64(c.seed)}, c.budget};
  trees.Pair("", "", 0);
  auto restore = [&] {
    fs::remove_all(s);
    fs::remove_all(d);
    Materialize(s, trees.source);
    Materialize(d, trees.destination);
  };
  const DWORD mask = kStored | FILE_ATTRIBUTE_ARCHIVE;
  std::vector<std::string> arguments = {s.native(), d.native(), "-lh=n"};
  arguments.insert(arguments.end(), c.options.begin(), c.options.end());
  const bool unsetArchive = std::count(arguments.begin(), arguments.end(), "-ua") > 0;
  restore();
  const Tree sourceBefore = ReadBack(s, mask), destinationBefore = ReadBack(d, mask);
  Counted clean = RunCounted(count, arguments, 0, c.error);
  ASSERT_EQ(clean.run.exitCode, 0) << clean.run.err;
  ASSERT_GT(clean.calls, 0) << "no call was counted";
  const Tree settled = ReadBack(d, mask);
  for (const char* label : {"add ", "update ", "delete ", "delete dir ", "meta "})
    EXPECT_NE(clean.run.out.find(LogLine(label, "").substr(0, 12)), std::string::npos) << label;
  const std::string sanitizerOptions =
      std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
  // As a clean run leaves it, or (under -cc, after a comparison that failed) a copy of its source.
  auto mirrored = [&](const Entry& now, const std::string& key) {
    return Same(&now, Find(settled, key)) || Same(&now, Find(sourceBefore, key));
  };
  auto complete = [&](const Tree& tree) {
    bool all = tree.size() == settled.size();
    for (const auto& [key, now] : tree) all = all && mirrored(now, key);
    return all;
  };
  std::set<std::string> brokenListings;
  std::printf("seed 0x%llx: %ld ordinals\n", static_cast<unsigned long long>(c.seed), clean.calls);
  for (long k = 1; k <= clean.calls && !testing::Test::HasFailure(); k++) {
    restore();
    Counted r = RunCounted(count, arguments, k, c.error);
    SCOPED_TRACE("call " + std::to_string(k) + " (" + r.failed + ") failing; out:\n" + r.run.out +
                 "err:\n" + r.run.err);
    // Ends normally; exit code 1 exactly after a report.
    ASSERT_EQ(r.run.exitCode, r.run.err.empty() ? 0 : 1);
    const Tree sourceAfter = ReadBack(s, mask), after = ReadBack(d, mask);
    // The source is only read; the archive attribute goes with a good copy alone.
    EXPECT_EQ(sourceAfter.size(), sourceBefore.size());
    for (const auto& [key, was] : sourceBefore) {
      const Entry* now = Find(sourceAfter, key);
      Entry cleared = was;
      cleared.attributes &= ~DWORD{FILE_ATTRIBUTE_ARCHIVE};
      bool copied = was.directory || Same(Find(after, key), Find(settled, key)) ||
                    Same(Find(after, key), &was);
      EXPECT_TRUE(Same(now, &was) || (unsetArchive && copied && Same(now, &cleared)))
          << "source " << key;
    }
    // Deletions announced; every entry as it was or as a good run leaves it; no temporary file
    // but one whose own removal failed. A silent run did all its work.
    std::set<std::string> announced;
    for (const std::string& line : SortedLines(r.run.out)) {
      std::string entry = line.substr(0, line.size() - 1);
      if (line.rfind("delete", 0) == 0)
        announced.insert(Key(Relative(entry, d.native(), 12)));
    }
    for (const auto& [key, was] : destinationBefore) {
      const Entry* now = Find(after, key);
      bool deleted = announced.count(key) > 0;
      for (size_t slash = key.find('/'); slash != std::string::npos;
           slash = key.find('/', slash + 1))
        deleted = deleted || announced.count(key.substr(0, slash)) > 0;
      EXPECT_TRUE((now && now->directory == was.directory) || deleted) << "deleted " << key;
    }
    for (const auto& [key, now] : after) {
      bool temporary = now.path.find(".tandrel-") != std::string::npos;
      EXPECT_TRUE(Same(&now, Find(destinationBefore, key)) || mirrored(now, key) ||
                  (temporary && r.failed == "unlinkat"))
          << "destination " << key;
    }
    if (r.run.err.empty()) {
      EXPECT_TRUE(complete(after)) << "a silent run left work undone";
    }
    // A directory read that breaks off after some entries is a failed listing.
    const std::string browse = "Unable to browse directory ";
    if (r.failed.rfind("readdir ", 0) == 0 && std::stol(r.failed.substr(8)) > 3) {
      ASSERT_EQ(r.run.err.rfind(browse, 0), 0u);
      std::string line = r.run.err.substr(0, r.run.err.find(": "));
      bool inDestination = line.rfind(browse + d.native(), 0) == 0;
      std::string key = Key(Relative(line, inDestination ? d.native() : s.native(), browse.size()));
      const Entry *a = Find(sourceBefore, key), *b = Find(destinationBefore, key);
      if (key.empty() || (a && b && a->directory && b->directory)) {
        brokenListings.insert("listing");
      } else if (inDestination) {
        EXPECT_TRUE(Find(after, key)) << "DeleteTree removed a directory it could not list";
        brokenListings.insert("DeleteTree");
      } else {
        EXPECT_TRUE(Same(Find(sourceAfter, key), a)) << "CopyNewTree cleared the archive bit";
        brokenListings.insert("CopyNewTree");
      }
    }
    // The next run completes the mirror; the one after that has nothing to do.
    setenv("ASAN_OPTIONS", (sanitizerOptions + ":detect_leaks=0").c_str(), 1);
    RunResult next = RunTandrel(arguments), last = RunTandrel(arguments);
    setenv("ASAN_OPTIONS", sanitizerOptions.c_str(), 1);
    EXPECT_EQ(next.exitCode, 0) << next.err;
    EXPECT_TRUE(complete(ReadBack(d, mask))) << "after the next run";
    EXPECT_EQ(last.exitCode, 0);
    for (const std::string& line : SortedLines(last.out + last.err))
      EXPECT_EQ(line.rfind("comparing ", 0), 0u) << "after the run that completed the mirror";
  }
  EXPECT_EQ(brokenListings, (std::set<std::string>{"CopyNewTree", "DeleteTree", "listing"}));
}

INSTANTIATE_TEST_SUITE_P(Seeds, FaultWalk,
                         testing::Values(FaultCase{329, 12, {"-ua", "-cc"}, "EIO"},
                                         FaultCase{388, 12, {}, "ENOSPC"},
                                         FaultCase{184, 12, {}, "EACCES"}),
                         [](const auto& info) { return "Seed" + std::to_string(info.param.seed); });

}  // namespace
#endif
