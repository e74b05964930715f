// End-to-end tests of the actions on single files: add, update, delete, equal and ignore, the
// comparisons that decide between them, the metadata correction of equal pairs, and the
// source's archive attribute.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "tandrel_test.h"

#ifndef _WIN32
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

const uint64_t kTime = 132223104000000000ULL;  // 2020-01-01 00:00:00 UTC
const DWORD kProtective = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

std::string Joined(const std::string& root, std::initializer_list<std::string> names) {
  std::string path = root;
  for (const auto& name : names) path += kSeparator + name;
  return path;
}

void MakeFile(const fs::path& path, const std::string& contents, uint64_t time = kTime,
              DWORD attributes = 0) {
  fs::create_directories(path.parent_path());
  WriteTextFile(path, contents);
  SetWriteTime(path, time);
  if (attributes != 0)
    SetAttributes(path, attributes);
}

// Log lines with the bare paths of -ll.
std::string Bare(const std::string& path) {
  return Console(path + "\n");
}

struct Roots {
  TempDir temp;
  fs::path source = temp.path() / "src";
  fs::path destination = temp.path() / "dst";
  Roots() {
    fs::create_directory(source);
    fs::create_directory(destination);
  }
  std::string S(std::initializer_list<std::string> names = {}) const {
    return Joined(TempDir::PathText(source), names);
  }
  std::string D(std::initializer_list<std::string> names = {}) const {
    return Joined(TempDir::PathText(destination), names);
  }
  RunResult Run(std::vector<std::string> options) const {
    std::vector<std::string> arguments{S(), D(), "-lh=n"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return RunTandrel(arguments);
  }
};

}  // namespace

TEST(FileActions, AddUpdateDeleteAndEqualByDefaultComparison) {
  Roots roots;
  const fs::path& s = roots.source;
  const fs::path& d = roots.destination;
  // Same size and time: equal, contents unread.
  MakeFile(s / "eq0.txt", "same");
  MakeFile(d / "eq0.txt", "SAME");
  // 5.9999999 seconds apart: still equal, the fraction being dropped.
  MakeFile(s / "eq5.txt", "five");
  MakeFile(d / "eq5.txt", "five", kTime + 6 * kSecond - 1);
  MakeFile(s / "new.txt", "new", kTime + 3 * kSecond);
  MakeFile(d / "old.txt", "old");
  // Same time, different size.
  MakeFile(s / "size.txt", "longer");
  MakeFile(d / "size.txt", "short");
  // 6 whole seconds apart: different.
  MakeFile(s / "t6.txt", "new6", kTime);
  MakeFile(d / "t6.txt", "old6", kTime - 6 * kSecond);

  RunResult r = roots.Run({"-le"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            LogLine("equal", roots.D({"eq0.txt"})) + LogLine("equal", roots.D({"eq5.txt"})) +
                LogLine("add", roots.D({"new.txt"})) + LogLine("delete", roots.D({"old.txt"})) +
                LogLine("update", roots.D({"size.txt"})) + LogLine("update", roots.D({"t6.txt"})));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ReadTextFile(d / "eq0.txt"), "SAME");
  EXPECT_EQ(WriteTime(d / "eq5.txt"), kTime + 6 * kSecond - 1);
  EXPECT_EQ(ReadTextFile(d / "new.txt"), "new");
  EXPECT_EQ(WriteTime(d / "new.txt"), kTime + 3 * kSecond);
  EXPECT_FALSE(fs::exists(d / "old.txt"));
  EXPECT_EQ(ReadTextFile(d / "size.txt"), "longer");
  EXPECT_EQ(ReadTextFile(d / "t6.txt"), "new6");
  EXPECT_EQ(WriteTime(d / "t6.txt"), kTime);

  // Without -le the equal pairs are silent, and after the run every pair is equal.
  r = roots.Run({});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

namespace {

// One tree per case: a pair that differs, a source-only and a destination-only file, a
// source-only and a destination-only directory.
void MakeIgnoreTrees(const Roots& roots) {
  MakeFile(roots.source / "diff.txt", "source version");
  MakeFile(roots.destination / "diff.txt", "dest");
  MakeFile(roots.source / "new.txt", "new");
  MakeFile(roots.destination / "old.txt", "old");
  MakeFile(roots.source / "newdir" / "f.txt", "f");
  MakeFile(roots.destination / "olddir" / "g.txt", "g");
}

}  // namespace

TEST(FileActions, NoAddNoUpdateNoDeleteIgnoreTheirEntries) {
  for (bool logIgnored : {false, true}) {
    SCOPED_TRACE(logIgnored ? "with -li" : "without -li");
    std::vector<std::string> li;
    if (logIgnored)
      li.push_back("-li");
    auto ignoreLine = [&](const std::string& label, const std::string& path) {
      return logIgnored ? LogLine(label, path) : std::string();
    };
    {
      SCOPED_TRACE("-na");
      Roots roots;
      MakeIgnoreTrees(roots);
      std::vector<std::string> options{"-na"};
      options.insert(options.end(), li.begin(), li.end());
      RunResult r = roots.Run(options);
      EXPECT_EQ(r.exitCode, 0);
      // The source-only entries are named by their source paths.
      EXPECT_EQ(r.out, LogLine("delete dir", roots.D({"olddir"})) +
                           LogLine("update", roots.D({"diff.txt"})) +
                           ignoreLine("ignore", roots.S({"new.txt"})) +
                           LogLine("delete", roots.D({"old.txt"})) +
                           ignoreLine("ignore", roots.S({"newdir"})));
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(ReadTextFile(roots.destination / "diff.txt"), "source version");
      EXPECT_FALSE(fs::exists(roots.destination / "new.txt"));
      EXPECT_FALSE(fs::exists(roots.destination / "newdir"));
      EXPECT_FALSE(fs::exists(roots.destination / "old.txt"));
      EXPECT_FALSE(fs::exists(roots.destination / "olddir"));
    }
    {
      SCOPED_TRACE("-nu");
      Roots roots;
      MakeIgnoreTrees(roots);
      std::vector<std::string> options{"-nu"};
      options.insert(options.end(), li.begin(), li.end());
      RunResult r = roots.Run(options);
      EXPECT_EQ(r.exitCode, 0);
      EXPECT_EQ(r.out, LogLine("delete dir", roots.D({"olddir"})) +
                           ignoreLine("ignore", roots.D({"diff.txt"})) +
                           LogLine("add", roots.D({"new.txt"})) +
                           LogLine("delete", roots.D({"old.txt"})) +
                           LogLine("add", roots.D({"newdir", "f.txt"})));
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(ReadTextFile(roots.destination / "diff.txt"), "dest");
      EXPECT_EQ(ReadTextFile(roots.destination / "new.txt"), "new");
      EXPECT_EQ(ReadTextFile(roots.destination / "newdir" / "f.txt"), "f");
      EXPECT_FALSE(fs::exists(roots.destination / "old.txt"));
      EXPECT_FALSE(fs::exists(roots.destination / "olddir"));
    }
    {
      SCOPED_TRACE("-nd");
      Roots roots;
      MakeIgnoreTrees(roots);
      std::vector<std::string> options{"-nd"};
      options.insert(options.end(), li.begin(), li.end());
      RunResult r = roots.Run(options);
      EXPECT_EQ(r.exitCode, 0);
      EXPECT_EQ(r.out, ignoreLine("ignore dir", roots.D({"olddir"})) +
                           LogLine("update", roots.D({"diff.txt"})) +
                           LogLine("add", roots.D({"new.txt"})) +
                           ignoreLine("ignore", roots.D({"old.txt"})) +
                           LogLine("add", roots.D({"newdir", "f.txt"})));
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(ReadTextFile(roots.destination / "diff.txt"), "source version");
      EXPECT_EQ(ReadTextFile(roots.destination / "new.txt"), "new");
      EXPECT_EQ(ReadTextFile(roots.destination / "old.txt"), "old");
      EXPECT_EQ(ReadTextFile(roots.destination / "olddir" / "g.txt"), "g");
    }
    {
      SCOPED_TRACE("-na -nu -nd");
      Roots roots;
      MakeIgnoreTrees(roots);
      std::string sourceBefore = Snapshot(roots.source),
                  destinationBefore = Snapshot(roots.destination);
      std::vector<std::string> options{"-na", "-nu", "-nd"};
      options.insert(options.end(), li.begin(), li.end());
      RunResult r = roots.Run(options);
      EXPECT_EQ(r.exitCode, 0);
      EXPECT_EQ(r.out, ignoreLine("ignore dir", roots.D({"olddir"})) +
                           ignoreLine("ignore", roots.D({"diff.txt"})) +
                           ignoreLine("ignore", roots.S({"new.txt"})) +
                           ignoreLine("ignore", roots.D({"old.txt"})) +
                           ignoreLine("ignore", roots.S({"newdir"})));
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(Snapshot(roots.source), sourceBefore);
      EXPECT_EQ(Snapshot(roots.destination), destinationBefore);
    }
  }
}

TEST(FileActions, ChangesAreMadeSilentlyWithoutLogChanges) {
  Roots roots;
  MakeIgnoreTrees(roots);
  MakeFile(roots.source / "equal.txt", "equal");
  MakeFile(roots.destination / "equal.txt", "equal");
  RunResult r = roots.Run({"-lc=n"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Snapshot(roots.destination), Snapshot(roots.source));
}

TEST(FileActions, LogListWritesBarePaths) {
  Roots roots;
  MakeIgnoreTrees(roots);
  MakeFile(roots.source / "equal.txt", "equal");
  MakeFile(roots.destination / "equal.txt", "equal");
  MakeFile(roots.source / "meta.txt", "meta", kTime, FILE_ATTRIBUTE_READONLY);
  MakeFile(roots.destination / "meta.txt", "meta");
  RunResult r = roots.Run({"-ll", "-le", "-ld"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, Bare(roots.D()) + Bare(roots.D({"olddir"})) + Bare(roots.D({"olddir"})) +
                       Bare(roots.D({"diff.txt"})) + Bare(roots.D({"equal.txt"})) +
                       Bare(roots.D({"meta.txt"})) + Bare(roots.D({"meta.txt"})) +
                       Bare(roots.D({"new.txt"})) + Bare(roots.D({"old.txt"})) +
                       Bare(roots.D({"newdir"})) + Bare(roots.D({"newdir", "f.txt"})));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Snapshot(roots.destination), Snapshot(roots.source));
}

TEST(FileActions, WithinAPairExtraDirectoriesGoFirstThenFilesThenDirectories) {
  Roots roots;
  const fs::path& s = roots.source;
  const fs::path& d = roots.destination;
  MakeFile(s / "a.txt", "a");
  MakeFile(s / "b" / "inner.txt", "inner");
  MakeFile(d / "c" / "x.txt", "x");
  MakeFile(d / "m.txt", "m");
  MakeFile(s / "z.txt", "z");
  MakeFile(d / "z.txt", "older z", kTime - 60 * kSecond);
  RunResult r = roots.Run({});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, LogLine("delete dir", roots.D({"c"})) + LogLine("add", roots.D({"a.txt"})) +
                       LogLine("delete", roots.D({"m.txt"})) +
                       LogLine("update", roots.D({"z.txt"})) +
                       LogLine("add", roots.D({"b", "inner.txt"})));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Snapshot(d), Snapshot(s));
}

TEST(FileActions, DirectoryAndFileOfTheSameNameReplaceEachOther) {
  Roots roots;
  const fs::path& s = roots.source;
  const fs::path& d = roots.destination;
  // A source directory facing a destination file, and a source file facing a destination
  // directory: the file goes in walk 2 before walk 3 copies the tree; the directory goes in
  // walk 1 before walk 2 adds the file.
  MakeFile(s / "x" / "in.txt", "in");
  MakeFile(d / "x", "file x");
  MakeFile(s / "y", "file y");
  MakeFile(d / "y" / "old.txt", "old");
  RunResult r = roots.Run({});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, LogLine("delete dir", roots.D({"y"})) + LogLine("delete", roots.D({"x"})) +
                       LogLine("add", roots.D({"y"})) + LogLine("add", roots.D({"x", "in.txt"})));
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(fs::is_directory(d / "x"));
  EXPECT_EQ(ReadTextFile(d / "x" / "in.txt"), "in");
  EXPECT_TRUE(fs::is_regular_file(d / "y"));
  EXPECT_EQ(ReadTextFile(d / "y"), "file y");
  EXPECT_EQ(Snapshot(d), Snapshot(s));
}

namespace {

void MakeContentsTrees(const Roots& roots) {
  // Longer than one 4096-byte block, differing in the last byte only.
  std::string contents(2 * 4096 + 100, 'b');
  std::string changed = contents;
  changed.back() = 'c';
  MakeFile(roots.source / "big.bin", contents);
  MakeFile(roots.destination / "big.bin", changed);
  MakeFile(roots.source / "same.bin", contents);
  MakeFile(roots.destination / "same.bin", contents);
  // Times that differ decide without reading.
  MakeFile(roots.source / "time.bin", contents);
  MakeFile(roots.destination / "time.bin", contents, kTime - 100 * kSecond);
}

}  // namespace

TEST(FileActions, CompareContentsFindsADifferenceInTheLastByte) {
  std::string contents(2 * 4096 + 100, 'b');
  {
    Roots roots;
    MakeContentsTrees(roots);
    RunResult r = roots.Run({"-cc", "-le"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, LogLine("comparing", roots.D({"big.bin"})) +
                         LogLine("update", roots.D({"big.bin"})) +
                         LogLine("comparing", roots.D({"same.bin"})) +
                         LogLine("equal", roots.D({"same.bin"})) +
                         LogLine("update", roots.D({"time.bin"})));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadTextFile(roots.destination / "big.bin"), contents);
    EXPECT_EQ(WriteTime(roots.destination / "time.bin"), kTime);
  }
  {
    Roots roots;
    MakeContentsTrees(roots);
    RunResult r = roots.Run({"-cc", "-le", "-lcc=n"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, LogLine("update", roots.D({"big.bin"})) +
                         LogLine("equal", roots.D({"same.bin"})) +
                         LogLine("update", roots.D({"time.bin"})));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadTextFile(roots.destination / "big.bin"), contents);
  }
}

namespace {

void MakeTimeContentsTrees(const Roots& roots) {
  // Times 100 seconds apart: the contents decide.
  MakeFile(roots.source / "diff.txt", "source");
  MakeFile(roots.destination / "diff.txt", "dest!!", kTime - 100 * kSecond);
  MakeFile(roots.source / "same.txt", "same contents");
  MakeFile(roots.destination / "same.txt", "same contents", kTime - 100 * kSecond);
  // Times that agree: equal without reading.
  MakeFile(roots.source / "agree.txt", "source");
  MakeFile(roots.destination / "agree.txt", "dest!!", kTime + 2 * kSecond);
}

}  // namespace

TEST(FileActions, TimeCompareContentsLetsTheContentsDecideWhenTimesDiffer) {
  {
    Roots roots;
    MakeTimeContentsTrees(roots);
    RunResult r = roots.Run({"-tcc", "-le"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, LogLine("equal", roots.D({"agree.txt"})) +
                         LogLine("comparing", roots.D({"diff.txt"})) +
                         LogLine("update", roots.D({"diff.txt"})) +
                         LogLine("comparing", roots.D({"same.txt"})) +
                         LogLine("equal", roots.D({"same.txt"})));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadTextFile(roots.destination / "agree.txt"), "dest!!");
    EXPECT_EQ(ReadTextFile(roots.destination / "diff.txt"), "source");
    EXPECT_EQ(WriteTime(roots.destination / "same.txt"), kTime - 100 * kSecond);
  }
  {
    // With -tm the equal pair whose times differ gets the source's time; the pair whose
    // times agree keeps its own.
    Roots roots;
    MakeTimeContentsTrees(roots);
    RunResult r = roots.Run({"-tcc", "-le", "-tm"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(
        r.out,
        LogLine("equal", roots.D({"agree.txt"})) + LogLine("comparing", roots.D({"diff.txt"})) +
            LogLine("update", roots.D({"diff.txt"})) + LogLine("comparing", roots.D({"same.txt"})) +
            LogLine("equal", roots.D({"same.txt"})) + LogLine("meta", roots.D({"same.txt"})));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(WriteTime(roots.destination / "same.txt"), kTime);
    EXPECT_EQ(WriteTime(roots.destination / "agree.txt"), kTime + 2 * kSecond);
  }
}

TEST(FileActions, ReadOnlyDestinationFilesAreUpdatedAndDeleted) {
  Roots roots;
  const fs::path& d = roots.destination;
  MakeFile(roots.source / "ro.txt", "new contents");
  MakeFile(d / "ro.txt", "old", kTime, FILE_ATTRIBUTE_READONLY);
  MakeFile(d / "gone.txt", "gone", kTime, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  ASSERT_EQ(Attributes(d / "ro.txt") & kProtective, DWORD{FILE_ATTRIBUTE_READONLY});
  RunResult r = roots.Run({});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            LogLine("delete", roots.D({"gone.txt"})) + LogLine("update", roots.D({"ro.txt"})));
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(fs::exists(d / "gone.txt"));
  EXPECT_EQ(ReadTextFile(d / "ro.txt"), "new contents");
  EXPECT_EQ(Attributes(d / "ro.txt") & kProtective, 0u);
}

namespace {

// Equal pairs (-ct=n) whose metadata differs in various ways.
void MakeMetaTrees(const Roots& roots) {
  const fs::path& s = roots.source;
  const fs::path& d = roots.destination;
  // Attributes and time both differ: one line.
  MakeFile(s / "both.txt", "both", kTime, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  MakeFile(d / "both.txt", "both", kTime + 100 * kSecond);
  MakeFile(s / "h.txt", "h", kTime, FILE_ATTRIBUTE_HIDDEN);
  MakeFile(d / "h.txt", "h");
  MakeFile(s / "n.txt", "n");
  MakeFile(d / "n.txt", "n", kTime, FILE_ATTRIBUTE_HIDDEN);
  MakeFile(s / "r.txt", "r", kTime, FILE_ATTRIBUTE_READONLY);
  MakeFile(d / "r.txt", "r");
  MakeFile(s / "t.txt", "t");
  MakeFile(d / "t.txt", "t", kTime - 100 * kSecond);
  MakeFile(s / "u.txt", "u");
  MakeFile(d / "u.txt", "u", kTime + 5 * kSecond);
}

// Whether the file system keeps the hidden attribute (on POSIX it needs extended attributes).
bool HiddenCanBeStored(const fs::path& directory) {
  fs::path probe = directory / "hidden-probe";
  WriteTextFile(probe, "");
  SetAttributes(probe, FILE_ATTRIBUTE_HIDDEN);
  bool stored = (Attributes(probe) & FILE_ATTRIBUTE_HIDDEN) != 0;
  fs::remove(probe);
  return stored;
}

}  // namespace

TEST(FileActions, MetadataOfEqualPairsIsCorrected) {
  {
    TempDir probe;
    if (!HiddenCanBeStored(probe.path())) {
      GTEST_SKIP() << "the file system keeps no hidden attribute (no extended attributes)";
    }
  }
  {
    SCOPED_TRACE("attributes only");
    Roots roots;
    MakeMetaTrees(roots);
    const fs::path& d = roots.destination;
    RunResult r = roots.Run({"-ct=n", "-le"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              LogLine("equal", roots.D({"both.txt"})) + LogLine("meta", roots.D({"both.txt"})) +
                  LogLine("equal", roots.D({"h.txt"})) + LogLine("meta", roots.D({"h.txt"})) +
                  LogLine("equal", roots.D({"n.txt"})) + LogLine("meta", roots.D({"n.txt"})) +
                  LogLine("equal", roots.D({"r.txt"})) + LogLine("meta", roots.D({"r.txt"})) +
                  LogLine("equal", roots.D({"t.txt"})) + LogLine("equal", roots.D({"u.txt"})));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Attributes(d / "both.txt") & kProtective,
              DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY});
    EXPECT_EQ(Attributes(d / "h.txt") & kProtective, DWORD{FILE_ATTRIBUTE_HIDDEN});
    EXPECT_EQ(Attributes(d / "n.txt") & kProtective, 0u);
    EXPECT_EQ(Attributes(d / "r.txt") & kProtective, DWORD{FILE_ATTRIBUTE_READONLY});
    EXPECT_EQ(WriteTime(d / "both.txt"), kTime + 100 * kSecond);
    EXPECT_EQ(WriteTime(d / "t.txt"), kTime - 100 * kSecond);
  }
  {
    SCOPED_TRACE("-tm");
    Roots roots;
    MakeMetaTrees(roots);
    const fs::path& d = roots.destination;
    RunResult r = roots.Run({"-ct=n", "-tm"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, LogLine("meta", roots.D({"both.txt"})) + LogLine("meta", roots.D({"h.txt"})) +
                         LogLine("meta", roots.D({"n.txt"})) + LogLine("meta", roots.D({"r.txt"})) +
                         LogLine("meta", roots.D({"t.txt"})));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Attributes(d / "both.txt") & kProtective,
              DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY});
    EXPECT_EQ(WriteTime(d / "both.txt"), kTime);
    EXPECT_EQ(WriteTime(d / "t.txt"), kTime);
    // Within the precision the times agree and are left alone.
    EXPECT_EQ(WriteTime(d / "u.txt"), kTime + 5 * kSecond);
    // A second run finds nothing left to correct.
    r = roots.Run({"-ct=n", "-tm"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
  }
  {
    SCOPED_TRACE("-nm");
    Roots roots;
    MakeMetaTrees(roots);
    std::string before = Snapshot(roots.destination);
    RunResult r = roots.Run({"-ct=n", "-tm", "-nm", "-le"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              LogLine("equal", roots.D({"both.txt"})) + LogLine("equal", roots.D({"h.txt"})) +
                  LogLine("equal", roots.D({"n.txt"})) + LogLine("equal", roots.D({"r.txt"})) +
                  LogLine("equal", roots.D({"t.txt"})) + LogLine("equal", roots.D({"u.txt"})));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Snapshot(roots.destination), before);
  }
}

namespace {

void MakeTimeLineTrees(const Roots& roots) {
  MakeFile(roots.source / "a.txt", "a");
  MakeFile(roots.destination / "a.txt", "a", kTime + kSecond / 2);
  MakeFile(roots.source / "b.txt", "b");
  MakeFile(roots.destination / "b.txt", "b", kTime - 3 * kSecond);
  MakeFile(roots.source / "c.txt", "c");
  MakeFile(roots.destination / "c.txt", "c", kTime + 7 * kSecond + kSecond / 2);
  // Sizes differ: decided before the times, no time line.
  MakeFile(roots.source / "d.txt", "dd");
  MakeFile(roots.destination / "d.txt", "d", kTime + 60 * kSecond);
}

}  // namespace

TEST(FileActions, TimeDifferenceLines) {
  {
    Roots roots;
    MakeTimeLineTrees(roots);
    RunResult r = roots.Run({"-ltd", "-le"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              Console("same time   " + roots.D({"a.txt"}) + "\n") +
                  LogLine("equal", roots.D({"a.txt"})) +
                  Console("source more recent by 3 second(s)   " + roots.D({"b.txt"}) + "\n") +
                  LogLine("equal", roots.D({"b.txt"})) +
                  Console("dest more recent by 7 second(s)   " + roots.D({"c.txt"}) + "\n") +
                  LogLine("update", roots.D({"c.txt"})) + LogLine("update", roots.D({"d.txt"})));
    EXPECT_EQ(r.err, "");
  }
  {
    // Under -ll the "same time" line keeps its label; the other time lines have none.
    Roots roots;
    MakeTimeLineTrees(roots);
    RunResult r = roots.Run({"-ltd", "-le", "-ll"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              Console("same time   " + roots.D({"a.txt"}) + "\n") + Bare(roots.D({"a.txt"})) +
                  Console("source more recent by 3 second(s)   " + roots.D({"b.txt"}) + "\n") +
                  Bare(roots.D({"b.txt"})) +
                  Console("dest more recent by 7 second(s)   " + roots.D({"c.txt"}) + "\n") +
                  Bare(roots.D({"c.txt"})) + Bare(roots.D({"d.txt"})));
    EXPECT_EQ(r.err, "");
  }
}

namespace {

// Whether the file system keeps a cleared archive attribute (Wine reports it on every file).
bool ArchiveCanBeCleared(const fs::path& directory) {
  fs::path probe = directory / "archive-probe";
  WriteTextFile(probe, "");
  SetAttributes(probe, FILE_ATTRIBUTE_ARCHIVE);
  bool set = (Attributes(probe) & FILE_ATTRIBUTE_ARCHIVE) != 0;
  SetAttributes(probe, FILE_ATTRIBUTE_NORMAL);
  bool cleared = (Attributes(probe) & FILE_ATTRIBUTE_ARCHIVE) == 0;
  fs::remove(probe);
  return set && cleared;
}

bool HasArchive(const fs::path& path) {
  return (Attributes(path) & FILE_ATTRIBUTE_ARCHIVE) != 0;
}

}  // namespace

TEST(FileActions, UnsetArchiveClearsItOnHandledSourceFilesOnly) {
  Roots roots;
  if (!ArchiveCanBeCleared(roots.temp.path())) {
    GTEST_SKIP() << "a cleared archive attribute does not stay cleared here (Wine reports it "
                    "on every file)";
  }
  const fs::path& s = roots.source;
  const fs::path& d = roots.destination;
  MakeFile(s / "added.txt", "added", kTime, FILE_ATTRIBUTE_ARCHIVE);
  MakeFile(s / "equal.txt", "equal", kTime, FILE_ATTRIBUTE_ARCHIVE);
  MakeFile(d / "equal.txt", "equal");
  MakeFile(s / "ignored.txt", "source", kTime, FILE_ATTRIBUTE_ARCHIVE);
  MakeFile(d / "ignored.txt", "dest");
  MakeFile(s / "sub" / "new.txt", "new", kTime, FILE_ATTRIBUTE_ARCHIVE);
  ASSERT_TRUE(HasArchive(s / "added.txt"));

  RunResult r = roots.Run({"-ua", "-nu", "-li", "-le"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, LogLine("add", roots.D({"added.txt"})) +
                       LogLine("equal", roots.D({"equal.txt"})) +
                       LogLine("ignore", roots.D({"ignored.txt"})) +
                       LogLine("add", roots.D({"sub", "new.txt"})));
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(HasArchive(s / "added.txt"));
  EXPECT_FALSE(HasArchive(s / "equal.txt"));
  EXPECT_FALSE(HasArchive(s / "sub" / "new.txt"));
  EXPECT_TRUE(HasArchive(s / "ignored.txt"));
  EXPECT_EQ(ReadTextFile(d / "added.txt"), "added");

  // Under -na a source-only file is left, with its archive attribute.
  MakeFile(s / "later.txt", "later", kTime, FILE_ATTRIBUTE_ARCHIVE);
  r = roots.Run({"-ua", "-na", "-li"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, LogLine("update", roots.D({"ignored.txt"})) +
                       LogLine("ignore", roots.S({"later.txt"})));
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(HasArchive(s / "later.txt"));
  EXPECT_FALSE(HasArchive(s / "ignored.txt"));
  EXPECT_FALSE(fs::exists(d / "later.txt"));

  // Virtual mode changes no attribute.
  r = roots.Run({"-ua", "-v"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, LogLine("add", roots.D({"later.txt"})));
  EXPECT_TRUE(HasArchive(s / "later.txt"));
  EXPECT_FALSE(fs::exists(d / "later.txt"));
}

#ifndef _WIN32
namespace {

// Makes a file immutable (chattr +i) for as long as the object lives, where the file system
// allows it.
class Immutable {
 public:
  explicit Immutable(const fs::path& path) : path_(path) { applied_ = Set(true); }
  ~Immutable() {
    if (applied_)
      Set(false);
  }
  bool applied() const { return applied_; }

 private:
  bool Set(bool on) {
    int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
      return false;
    int flags = 0;
    bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      ok = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    close(fd);
    return ok;
  }
  fs::path path_;
  bool applied_ = false;
};

}  // namespace

TEST(FileActions, UnsetArchiveKeepsItWhenTheCopyFails) {
  Roots roots;
  if (!ArchiveCanBeCleared(roots.temp.path())) {
    GTEST_SKIP() << "the file system keeps no archive attribute (no extended attributes)";
  }
  const fs::path& s = roots.source;
  const fs::path& d = roots.destination;
  MakeFile(s / "locked.txt", "source", kTime, FILE_ATTRIBUTE_ARCHIVE);
  MakeFile(d / "locked.txt", "dest");
  MakeFile(s / "open.txt", "source", kTime, FILE_ATTRIBUTE_ARCHIVE);
  MakeFile(d / "open.txt", "dest");
  Immutable lock(d / "locked.txt");
  if (!lock.applied())
    GTEST_SKIP() << "the file system cannot make a file immutable";

  RunResult r = roots.Run({"-ua"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            LogLine("update", roots.D({"locked.txt"})) + LogLine("update", roots.D({"open.txt"})));
  EXPECT_EQ(r.err, "Unable to copy " + roots.S({"locked.txt"}) + ": Operation not permitted\n");
  EXPECT_EQ(ReadTextFile(d / "locked.txt"), "dest");
  EXPECT_TRUE(HasArchive(s / "locked.txt"));
  EXPECT_EQ(ReadTextFile(d / "open.txt"), "source");
  EXPECT_FALSE(HasArchive(s / "open.txt"));
  // The failed copy left nothing behind in the destination directory.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(d)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"locked.txt", "open.txt"}));
}
#endif
