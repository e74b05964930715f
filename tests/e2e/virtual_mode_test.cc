// Virtual mode on trees with every kind of difference: the lines of a real run, no change to
// either tree. And a real run on such trees leaves nothing for a second run to do.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tandrel_test.h"

namespace {

const uint64_t kBaseTime = 13253932800ULL * kSecond;  // 1 January 2021, 00:00 UTC

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

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Two trees that differ in every way a run deals with: a new file, an updated file, a
// destination-only file and directory tree, a new tree (with an empty directory), an equal
// pair whose attributes differ, a read-only destination file to update, and a directory
// pair with changes of its own.
void MakeTreesWithEveryChange(const fs::path& source, const fs::path& destination) {
  MakeFile(source, "add.txt", "added");
  MakeFile(source, "upd.txt", "new contents", kBaseTime + 100 * kSecond);
  MakeFile(destination, "upd.txt", "old", kBaseTime);
  MakeFile(source, "same.txt", "same");
  MakeFile(destination, "same.txt", "same");
  MakeFile(source, "meta.txt", "meta");
  MakeFile(destination, "meta.txt", "meta");
  SetAttributes(source / "meta.txt", FILE_ATTRIBUTE_READONLY);
  MakeFile(source, "rodst.txt", "fresh!", kBaseTime + 50 * kSecond);
  MakeFile(destination, "rodst.txt", "stale");
  SetAttributes(destination / "rodst.txt", FILE_ATTRIBUTE_READONLY);
  MakeFile(destination, "del.txt", "gone");
  MakeFile(destination, "deldir/x.txt", "x");
  MakeFile(destination, "deldir/sub/y.txt", "y");
  MakeFile(source, "newtree/n1.txt", "n1");
  MakeFile(source, "newtree/sub/n2.txt", "n2");
  fs::create_directories(source / "newtree/empty");
  MakeFile(source, "pair/inner_add.txt", "ia");
  MakeFile(source, "pair/inner_upd.txt", "iu new", kBaseTime + 100 * kSecond);
  MakeFile(destination, "pair/inner_upd.txt", "iu");
  MakeFile(source, "pair/inner_same.txt", "is");
  MakeFile(destination, "pair/inner_same.txt", "is");
  MakeFile(destination, "pair/inner_del.txt", "id");
  ASSERT_TRUE(Attributes(source / "meta.txt") & FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(Attributes(destination / "rodst.txt") & FILE_ATTRIBUTE_READONLY);
}

}  // namespace

TEST(VirtualMode, WritesTheLinesOfARealRunAndChangesNothing) {
  TempDir source, destination;
  ASSERT_NO_FATAL_FAILURE(MakeTreesWithEveryChange(source.path(), destination.path()));
  std::string sourceBefore = Snapshot(source.path());
  std::string destinationBefore = Snapshot(destination.path());
  std::vector<std::string> options = {source.str(), destination.str(), "-ld", "-le"};

  std::vector<std::string> virtualOptions = options;
  virtualOptions.push_back("-v");
  RunResult dry = RunTandrel(virtualOptions);
  EXPECT_EQ(dry.exitCode, 0);
  EXPECT_EQ(dry.err, "");
  EXPECT_EQ(Snapshot(source.path()), sourceBefore);
  EXPECT_EQ(Snapshot(destination.path()), destinationBefore);

  // The real run on the very same, unchanged trees.
  RunResult real = RunTandrel(options);
  EXPECT_EQ(real.exitCode, 0);
  EXPECT_EQ(real.err, "");
  EXPECT_EQ(dry.out, real.out);

  std::string root = destination.str();
  std::string header = Header(source.str(), destination.str());
  ASSERT_EQ(real.out.rfind(header, 0), 0u) << real.out;
  EXPECT_EQ(
      SortedLines(real.out.substr(header.size())),
      SortedLines(
          LogLine("directory", root) + LogLine("delete dir", Below(root, "deldir")) +
          LogLine("directory", Below(root, "deldir")) +
          LogLine("directory", Below(root, "deldir/sub")) + LogLine("add", Below(root, "add.txt")) +
          LogLine("delete", Below(root, "del.txt")) + LogLine("equal", Below(root, "meta.txt")) +
          LogLine("meta", Below(root, "meta.txt")) + LogLine("update", Below(root, "rodst.txt")) +
          LogLine("equal", Below(root, "same.txt")) + LogLine("update", Below(root, "upd.txt")) +
          LogLine("directory", Below(root, "newtree")) +
          LogLine("add", Below(root, "newtree/n1.txt")) +
          LogLine("directory", Below(root, "newtree/sub")) +
          LogLine("add", Below(root, "newtree/sub/n2.txt")) +
          LogLine("directory", Below(root, "newtree/empty")) +
          LogLine("directory", Below(root, "pair")) +
          LogLine("add", Below(root, "pair/inner_add.txt")) +
          LogLine("delete", Below(root, "pair/inner_del.txt")) +
          LogLine("equal", Below(root, "pair/inner_same.txt")) +
          LogLine("update", Below(root, "pair/inner_upd.txt"))));
  // The real run did what the virtual one announced.
  EXPECT_EQ(Snapshot(destination.path()), Snapshot(source.path()));
  EXPECT_EQ(Snapshot(source.path()), sourceBefore);
}

TEST(VirtualMode, LeavesTheArchiveAttributeAlone) {
  if (RunningUnderWine()) {
    GTEST_SKIP() << "Under Wine every file reports the archive attribute and clearing it does "
                    "not stick";
  }
  TempDir source, destination;
  MakeFile(source.path(), "add.txt", "added");
  MakeFile(source.path(), "same.txt", "same");
  MakeFile(destination.path(), "same.txt", "same");
  MakeFile(source.path(), "N/n.txt", "n");
  const char* kEntries[] = {"add.txt", "same.txt", "N", "N/n.txt"};
  for (const char* entry : kEntries) {
    DWORD attributes = Attributes(source.path() / entry);
    SetAttributes(source.path() / entry, attributes | FILE_ATTRIBUTE_ARCHIVE);
    ASSERT_TRUE(Attributes(source.path() / entry) & FILE_ATTRIBUTE_ARCHIVE) << entry;
  }

  RunResult dry = RunTandrel({source.str(), destination.str(), "-lh=n", "-ua", "-v"});
  EXPECT_EQ(dry.exitCode, 0);
  EXPECT_EQ(dry.err, "");
  for (const char* entry : kEntries) {
    EXPECT_TRUE(Attributes(source.path() / entry) & FILE_ATTRIBUTE_ARCHIVE) << entry;
  }

  // Without virtual mode the same run clears every one of them.
  RunResult real = RunTandrel({source.str(), destination.str(), "-lh=n", "-ua"});
  EXPECT_EQ(real.exitCode, 0);
  EXPECT_EQ(real.out, dry.out);
  EXPECT_EQ(real.err, "");
  for (const char* entry : kEntries) {
    EXPECT_FALSE(Attributes(source.path() / entry) & FILE_ATTRIBUTE_ARCHIVE) << entry;
  }
}

TEST(RepeatedRun, SecondRunWritesNothingButTheHeader) {
  TempDir source, destination;
  ASSERT_NO_FATAL_FAILURE(MakeTreesWithEveryChange(source.path(), destination.path()));

  RunResult first = RunTandrel({source.str(), destination.str()});
  EXPECT_EQ(first.exitCode, 0);
  EXPECT_EQ(first.err, "");
  std::string header = Header(source.str(), destination.str());
  EXPECT_GT(first.out.size(), header.size());

  RunResult second = RunTandrel({source.str(), destination.str()});
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.out, header);
  EXPECT_EQ(second.err, "");
  EXPECT_EQ(Snapshot(destination.path()), Snapshot(source.path()));
}
