// Whole directory trees: destination-only directories deleted as trees (or kept), source-only
// directories copied as new trees, and directory pairs descended into.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tandrel_test.h"

namespace {

const uint64_t kBaseTime = 13253932800ULL * kSecond;  // 1 January 2021, 00:00 UTC

// The text of a path below a root, as the program prints it ('/' in `relative` stands for
// the build's separator).
std::string Below(const std::string& root, const std::string& relative) {
  std::string text = root + kSeparator;
  for (char c : relative) text += c == '/' ? kSeparator[0] : c;
  return text;
}

void MakeFile(const fs::path& root, const std::string& relative, const std::string& contents,
              uint64_t time = kBaseTime) {
  fs::path path = root / relative;
  fs::create_directories(path.parent_path());
  WriteTextFile(path, contents);
  SetWriteTime(path, time);
}

void MakeDirectory(const fs::path& root, const std::string& relative) {
  fs::create_directories(root / relative);
}

// The text of relative paths as Snapshot() writes them ('/' stands for the separator).
std::string Relative(const std::string& text) {
  std::string native = text;
  for (char& c : native) {
    if (c == '/')
      c = kSeparator[0];
  }
  return native;
}

// The output cut into lines, each with its line end.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines = Lines(text);
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

// The path of a labelled log line.
std::string PathOf(const std::string& line) {
  std::string path = line.substr(12);
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  return path;
}

// Every line about an entry below `directory` follows that directory's "directory" line, in
// one block with nothing else between.
void ExpectBlockBelow(const std::vector<std::string>& lines, const std::string& directory) {
  auto start = std::find(lines.begin(), lines.end(), LogLine("directory", directory));
  ASSERT_NE(start, lines.end()) << "no directory line for " << directory;
  std::string prefix = directory + kSeparator;
  size_t below = std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return PathOf(line).rfind(prefix, 0) == 0;
  });
  for (size_t i = 1; i <= below; i++) {
    ASSERT_LT(static_cast<size_t>(start - lines.begin()) + i, lines.size());
    EXPECT_EQ(PathOf(*(start + i)).rfind(prefix, 0), 0u)
        << "line " << *(start + i) << " breaks the block of " << directory;
  }
}

// A destination-only tree: D holds two files and S, S holds a file and T, T holds a file.
void MakeExtraTree(const fs::path& destination) {
  MakeFile(destination, "D/a.txt", "a");
  MakeFile(destination, "D/b.txt", "b");
  MakeFile(destination, "D/S/c.txt", "c");
  MakeFile(destination, "D/S/T/d.txt", "d");
}

}  // namespace

TEST(DeleteDirectory, DestinationOnlyTreeGoesWithOneLine) {
  TempDir source, destination;
  MakeFile(source.path(), "same.txt", "same");
  MakeFile(destination.path(), "same.txt", "same");
  MakeExtraTree(destination.path());
  std::string before = Snapshot(destination.path());

  RunResult kept = RunTandrel({source.str(), destination.str(), "-lh=n", "-nd"});
  EXPECT_EQ(kept.exitCode, 0);
  EXPECT_EQ(kept.out, "");
  EXPECT_EQ(kept.err, "");
  EXPECT_EQ(Snapshot(destination.path()), before);

  RunResult ignored = RunTandrel({source.str(), destination.str(), "-lh=n", "-nd", "-li"});
  EXPECT_EQ(ignored.exitCode, 0);
  EXPECT_EQ(ignored.out, LogLine("ignore dir", Below(destination.str(), "D")));
  EXPECT_EQ(ignored.err, "");
  EXPECT_EQ(Snapshot(destination.path()), before);

  RunResult deleted = RunTandrel({source.str(), destination.str(), "-lh=n"});
  EXPECT_EQ(deleted.exitCode, 0);
  EXPECT_EQ(deleted.out, LogLine("delete dir", Below(destination.str(), "D")));
  EXPECT_EQ(deleted.err, "");
  EXPECT_FALSE(fs::exists(destination.path() / "D"));
  EXPECT_EQ(Snapshot(destination.path()), Snapshot(source.path()));
}

TEST(DeleteDirectory, LogDirectoriesNamesEveryLevelAsItIsEntered) {
  TempDir source, destination;
  MakeExtraTree(destination.path());

  RunResult r = RunTandrel({source.str(), destination.str(), "-lh=n", "-ld"});
  EXPECT_EQ(r.exitCode, 0);
  // D and S each hold a single sub-directory, so the order of the levels is fixed.
  EXPECT_EQ(r.out, LogLine("directory", destination.str()) +
                       LogLine("delete dir", Below(destination.str(), "D")) +
                       LogLine("directory", Below(destination.str(), "D")) +
                       LogLine("directory", Below(destination.str(), "D/S")) +
                       LogLine("directory", Below(destination.str(), "D/S/T")));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Snapshot(destination.path()), "");
}

TEST(DeleteDirectory, ReadOnlyHiddenAndSystemFilesGoToo) {
  TempDir source, destination;
  MakeFile(destination.path(), "D/readonly.txt", "r");
  MakeFile(destination.path(), "D/hidden.txt", "h");
  MakeFile(destination.path(), "D/all.txt", "all");
  MakeFile(destination.path(), "D/H/deep.txt", "deep");
  const DWORD kAll = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  SetAttributes(destination.path() / "D/readonly.txt", FILE_ATTRIBUTE_READONLY);
  SetAttributes(destination.path() / "D/hidden.txt", FILE_ATTRIBUTE_HIDDEN);
  SetAttributes(destination.path() / "D/all.txt", kAll);
  SetAttributes(destination.path() / "D/H/deep.txt", FILE_ATTRIBUTE_READONLY);
  SetAttributes(destination.path() / "D/H", FILE_ATTRIBUTE_HIDDEN);
  ASSERT_EQ(Attributes(destination.path() / "D/readonly.txt") & kAll, FILE_ATTRIBUTE_READONLY);
  ASSERT_EQ(Attributes(destination.path() / "D/hidden.txt") & kAll, FILE_ATTRIBUTE_HIDDEN);
  ASSERT_EQ(Attributes(destination.path() / "D/all.txt") & kAll, kAll);
  ASSERT_EQ(Attributes(destination.path() / "D/H") & kAll, FILE_ATTRIBUTE_HIDDEN);

  RunResult r = RunTandrel({source.str(), destination.str(), "-lh=n"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, LogLine("delete dir", Below(destination.str(), "D")));
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(fs::exists(destination.path() / "D"));
}

TEST(DeleteDirectory, ExcludedFileKeepsItsDirectoryAndTheLevelAboveReports) {
  TempDir source, destination;
  MakeFile(destination.path(), "D/a.txt", "a");
  MakeFile(destination.path(), "D/S/keep.txt", "kept");
  MakeFile(destination.path(), "D/S/other.txt", "other");
  MakeFile(destination.path(), "D/T/t.txt", "t");
  std::string directory = Below(destination.str(), "D");

  RunResult r = RunTandrel({source.str(), destination.str(), "-lh=n", "-x=*keep.txt"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, LogLine("delete dir", directory));
  // One report, for D only: S stays without a message.
  std::string report = "Unable to delete directory " + directory + ": ";
  EXPECT_EQ(r.err.rfind(report, 0), 0u) << r.err;
  EXPECT_GT(r.err.size(), report.size() + 1) << "no system text: " << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_EQ(r.err.back(), '\n');
  if (!kWindowsBuild) {
    EXPECT_EQ(r.err, report + "Directory not empty\n");
  }
  EXPECT_EQ(Snapshot(destination.path(), false, false),
            Relative("D dir\nD/S dir\nD/S/keep.txt file kept\n"));
}

TEST(DeleteDirectory, IncludeModeDeletesOnlyMatchingFiles) {
  TempDir source, destination;
  MakeFile(destination.path(), "root.txt", "r");
  MakeFile(destination.path(), "root.log", "r");
  // D: every file of its own matches; T below it keeps one, so D's removal fails.
  MakeFile(destination.path(), "D/a.txt", "a");
  MakeFile(destination.path(), "D/S/c.txt", "c");
  MakeFile(destination.path(), "D/T/d.txt", "d");
  MakeFile(destination.path(), "D/T/e.log", "e");
  // E keeps a file of its own: it stays without a message.
  MakeFile(destination.path(), "E/b.log", "b");
  MakeFile(destination.path(), "E/f.txt", "f");

  RunResult r = RunTandrel({source.str(), destination.str(), "-lh=n", "-i=*.txt"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, LogLine("delete dir", Below(destination.str(), "D")) +
                       LogLine("delete dir", Below(destination.str(), "E")) +
                       LogLine("delete", Below(destination.str(), "root.txt")));
  std::string report = "Unable to delete directory " + Below(destination.str(), "D") + ": ";
  EXPECT_EQ(r.err.rfind(report, 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_EQ(Snapshot(destination.path(), false, false),
            Relative("D dir\nD/T dir\nD/T/e.log file e\nE dir\nE/b.log file b\nroot.log file r\n"));
}

TEST(CopyNewTree, LogDirectoriesShowsEachLevelBeforeItsContents) {
  TempDir source, destination;
  MakeFile(source.path(), "N/a.txt", "a");
  MakeFile(source.path(), "N/b.txt", "bb");
  MakeFile(source.path(), "N/S/c.txt", "ccc", kBaseTime + 7 * kSecond);
  MakeDirectory(source.path(), "N/S/T");
  MakeDirectory(source.path(), "N/E");

  RunResult r = RunTandrel({source.str(), destination.str(), "-lh=n", "-ld"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  std::string root = destination.str();
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 8u) << r.out;
  // The root pass comes first; N is the only entry of the root, so its copy follows.
  EXPECT_EQ(lines[0], LogLine("directory", root));
  EXPECT_EQ(lines[1], LogLine("directory", Below(root, "N")));
  // Then the enumeration's order, which is not sorted: the set of lines, and each new
  // directory's line ahead of its own contents.
  EXPECT_EQ(
      SortedLines(r.out),
      Sorted({LogLine("directory", root), LogLine("directory", Below(root, "N")),
              LogLine("add", Below(root, "N/a.txt")), LogLine("add", Below(root, "N/b.txt")),
              LogLine("directory", Below(root, "N/S")), LogLine("add", Below(root, "N/S/c.txt")),
              LogLine("directory", Below(root, "N/S/T")),
              LogLine("directory", Below(root, "N/E"))}));
  ExpectBlockBelow(lines, Below(root, "N"));
  ExpectBlockBelow(lines, Below(root, "N/S"));
  ExpectBlockBelow(lines, Below(root, "N/S/T"));
  ExpectBlockBelow(lines, Below(root, "N/E"));
  EXPECT_EQ(Snapshot(destination.path()), Snapshot(source.path()));
}

TEST(CopyNewTree, EmptyDirectoriesAreMadeWithoutALineByDefault) {
  TempDir source, destination;
  MakeFile(source.path(), "N/a.txt", "a");
  MakeFile(source.path(), "N/S/c.txt", "c");
  MakeDirectory(source.path(), "N/S/T");
  MakeDirectory(source.path(), "N/E");
  MakeDirectory(source.path(), "Empty");

  RunResult r = RunTandrel({source.str(), destination.str(), "-lh=n"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  std::string root = destination.str();
  EXPECT_EQ(SortedLines(r.out), Sorted({LogLine("add", Below(root, "N/a.txt")),
                                        LogLine("add", Below(root, "N/S/c.txt"))}));
  EXPECT_TRUE(fs::is_directory(destination.path() / "Empty"));
  EXPECT_TRUE(fs::is_directory(destination.path() / "N/E"));
  EXPECT_TRUE(fs::is_directory(destination.path() / "N/S/T"));
  EXPECT_EQ(Snapshot(destination.path()), Snapshot(source.path()));
}

TEST(CopyNewTree, NoAddIgnoresTheSourceDirectoryByItsSourcePath) {
  TempDir source, destination;
  MakeFile(source.path(), "N/a.txt", "a");
  MakeDirectory(source.path(), "N/S");

  RunResult silent = RunTandrel({source.str(), destination.str(), "-lh=n", "-na"});
  EXPECT_EQ(silent.exitCode, 0);
  EXPECT_EQ(silent.out, "");
  EXPECT_EQ(silent.err, "");

  RunResult logged = RunTandrel({source.str(), destination.str(), "-lh=n", "-na", "-li"});
  EXPECT_EQ(logged.exitCode, 0);
  EXPECT_EQ(logged.out, LogLine("ignore", Below(source.str(), "N")));
  EXPECT_EQ(logged.err, "");
  EXPECT_EQ(Snapshot(destination.path()), "");
}

TEST(CopyNewTree, HiddenSourceDirectoryMakesAHiddenDestinationDirectory) {
  if (RunningUnderWine()) {
    GTEST_SKIP() << "Wine's CreateDirectoryExW ignores the template directory's attributes";
  }
  TempDir source, destination;
  MakeFile(source.path(), "H/a.txt", "a");
  MakeFile(source.path(), "V/b.txt", "b");
  SetAttributes(source.path() / "H", FILE_ATTRIBUTE_HIDDEN);
  ASSERT_TRUE(Attributes(source.path() / "H") & FILE_ATTRIBUTE_HIDDEN);

  RunResult r = RunTandrel({source.str(), destination.str(), "-lh=n"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, LogLine("add", Below(destination.str(), "H/a.txt")) +
                       LogLine("add", Below(destination.str(), "V/b.txt")));
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(Attributes(destination.path() / "H") & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(Attributes(destination.path() / "V") & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(Snapshot(destination.path()), Snapshot(source.path()));
}

TEST(DirectoryPair, IsDescendedIntoAfterTheFilesOfItsParent) {
  TempDir source, destination;
  MakeFile(source.path(), "top.txt", "top");
  MakeFile(source.path(), "P/a.txt", "a");
  MakeFile(source.path(), "P/same.txt", "same");
  MakeFile(source.path(), "P/Q/deep.txt", "deep");
  MakeFile(destination.path(), "P/same.txt", "same");
  MakeFile(destination.path(), "P/old.txt", "old");
  MakeDirectory(destination.path(), "P/Q");

  RunResult r = RunTandrel({source.str(), destination.str(), "-lh=n", "-ld", "-le"});
  EXPECT_EQ(r.exitCode, 0);
  std::string root = destination.str();
  EXPECT_EQ(r.out, LogLine("directory", root) + LogLine("add", Below(root, "top.txt")) +
                       LogLine("directory", Below(root, "P")) +
                       LogLine("add", Below(root, "P/a.txt")) +
                       LogLine("delete", Below(root, "P/old.txt")) +
                       LogLine("equal", Below(root, "P/same.txt")) +
                       LogLine("directory", Below(root, "P/Q")) +
                       LogLine("add", Below(root, "P/Q/deep.txt")));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Snapshot(destination.path()), Snapshot(source.path()));
}

TEST(DirectoryPair, NamesEqualButForCase) {
  TempDir source, destination;
  MakeFile(source.path(), "Case/new.txt", "new");
  MakeFile(destination.path(), "case/x.txt", "x");

  RunResult r = RunTandrel({source.str(), destination.str(), "-lh=n", "-ld"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  std::string root = destination.str();
  if (kWindowsBuild) {
    // One pair: the source's spelling names it, its case is corrected, then it is entered.
    EXPECT_EQ(r.out, LogLine("directory", root) + LogLine("meta", Below(root, "Case")) +
                         LogLine("directory", Below(root, "Case")) +
                         LogLine("add", Below(root, "Case/new.txt")) +
                         LogLine("delete", Below(root, "Case/x.txt")));
  } else {
    // Two entries: the destination's is deleted, the source's copied as a new tree.
    EXPECT_EQ(r.out, LogLine("directory", root) + LogLine("delete dir", Below(root, "case")) +
                         LogLine("directory", Below(root, "case")) +
                         LogLine("directory", Below(root, "Case")) +
                         LogLine("add", Below(root, "Case/new.txt")));
  }
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(destination.path())) {
    names.push_back(TempDir::PathText(entry.path().filename()));
  }
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(ReadTextFile(destination.path() / names[0] / "new.txt"), "new");
  EXPECT_FALSE(fs::exists(destination.path() / names[0] / "x.txt"));
  // The stored name takes the source's case (on Windows by the correction, on native by the
  // copy); Wine's MoveFileW keeps the stored case, so there only the lines above show it.
  if (!RunningUnderWine()) {
    EXPECT_EQ(names[0], "Case");
  }
}
