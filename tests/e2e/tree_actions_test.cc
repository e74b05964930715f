// Whole directory trees: destination-only directories deleted as trees (or partly kept), and
// source-only directories copied as new trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tandrel_test.h"

TEST(DeleteTree, DestinationOnlyTreeGoesWithOneLineAndItsProtectedFiles) {
  TreePair t;
  const fs::path& d = t.destination;
  MakeFiles(d, "D/a.txt=a D/b.txt=b D/S/c.txt=c D/S/T/d.txt=d");
  const DWORD kAll = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  SetAttributes(d / "D/a.txt", FILE_ATTRIBUTE_READONLY);
  SetAttributes(d / "D/b.txt", kAll);
  SetAttributes(d / "D/S/T/d.txt", FILE_ATTRIBUTE_READONLY);
  SetAttributes(d / "D/S/T", FILE_ATTRIBUTE_HIDDEN);
  ASSERT_EQ(Attributes(d / "D/b.txt") & kAll, kAll);
  ASSERT_EQ(Attributes(d / "D/S/T") & kAll, DWORD{FILE_ATTRIBUTE_HIDDEN});

  // No line per file; under -ld a "directory" line per level as it is entered (each level
  // holds one sub-directory, so their order is fixed).
  EXPECT_TRUE(t.Writes({"-ld"}, {"directory dst", "delete dir dst/D", "directory dst/D",
                                 "directory dst/D/S", "directory dst/D/S/T"}));
  EXPECT_EQ(Listing(d), "");
}

TEST(DeleteTree, FilesTheFilterKeepsKeepTheirDirectories) {
  // Only D, the level above a kept directory, reports that it cannot be deleted.
  struct {
    std::string option, tree;
    std::vector<std::string> rows;
    std::string after;
  } cases[] = {
      {"-x=*keep.txt",
       "D/a.txt=a D/S/keep.txt=kept D/S/other.txt=o D/T/t.txt=t",
       {"delete dir dst/D"},
       "D/ D/S/ D/S/keep.txt=kept"},
      // Include mode deletes only matching files: E keeps a file of its own and stays
      // without a message.
      {"-i=*.txt",
       "root.txt=r root.log=r D/a.txt=a D/S/c.txt=c D/T/d.txt=d D/T/e.log=e E/b.log=b E/f.txt=f",
       {"delete dir dst/D", "delete dir dst/E", "delete dst/root.txt"},
       "D/ D/T/ D/T/e.log=e E/ E/b.log=b root.log=r"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    TreePair t;
    MakeFiles(t.destination, c.tree);
    RunResult r = t.Run({c.option});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, t.Log(c.rows));
    ExpectReports(r.err,
                  {"Unable to delete directory " + Under(TempDir::PathText(t.destination), "D")},
                  "Directory not empty\n");
    EXPECT_EQ(Listing(t.destination), c.after);
  }
}

TEST(CopyNewTree, EachDirectoryLineComesRightBeforeItsContents) {
  TreePair t;
  MakeFiles(t.source, "N/a.txt=a N/b.txt=bb N/S/c.txt=ccc N/S/T/ N/E/");
  RunResult r = t.Run({"-ld"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  // The enumeration's order is not sorted: the set of lines first.
  EXPECT_EQ(SortedLines(r.out),
            SortedLines(t.Log({"directory dst", "directory dst/N", "add dst/N/a.txt",
                               "add dst/N/b.txt", "directory dst/N/S", "add dst/N/S/c.txt",
                               "directory dst/N/S/T", "directory dst/N/E"})));
  // Each directory's line comes first in one block with everything below it.
  std::vector<std::string> paths;
  for (size_t start = 0, end; (end = r.out.find('\n', start)) != std::string::npos; start = end + 1)
    paths.push_back(r.out.substr(start + 12, end - start - 12 - (kWindowsBuild ? 1 : 0)));
  ASSERT_EQ(paths.size(), 8u);
  EXPECT_EQ(paths[1], Under(TempDir::PathText(t.destination), "N"));
  for (size_t i = 0; i < paths.size(); i++) {
    auto below = [&](const std::string& path) { return path.rfind(paths[i] + kSeparator, 0) == 0; };
    size_t count = std::count_if(paths.begin(), paths.end(), below);
    for (size_t k = i + 1; k <= i + count; k++)
      EXPECT_TRUE(k < paths.size() && below(paths[k])) << "the block of " << paths[i];
  }
  EXPECT_EQ(Snapshot(t.destination), Snapshot(t.source));
}

TEST(CopyNewTree, HiddenSourceDirectoryMakesAHiddenDestinationDirectory) {
  if (RunningUnderWine()) {
    GTEST_SKIP() << "Wine's CreateDirectoryExW ignores the template directory's attributes";
  }
  TreePair t;
  MakeFiles(t.source, "H/a.txt=a V/b.txt=b");
  SetAttributes(t.source / "H", FILE_ATTRIBUTE_HIDDEN);
  ASSERT_TRUE(Attributes(t.source / "H") & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(t.Writes({}, {"add dst/H/a.txt", "add dst/V/b.txt"}));
  EXPECT_TRUE(Attributes(t.destination / "H") & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(Attributes(t.destination / "V") & FILE_ATTRIBUTE_HIDDEN);
}

TEST(DirectoryPair, NamesEqualButForCase) {
  TreePair t;
  MakeFiles(t.source, "Case/new.txt=new");
  MakeFiles(t.destination, "case/x.txt=x");
  // Windows: one pair, named by the source's spelling, its case corrected, then entered.
  // Native: two entries, the destination's deleted, the source's copied as a new tree.
  EXPECT_TRUE(t.Writes(
      {"-ld"},
      kWindowsBuild
          ? std::vector<std::string>{"directory dst", "meta dst/Case", "directory dst/Case",
                                     "add dst/Case/new.txt", "delete dst/Case/x.txt"}
          : std::vector<std::string>{"directory dst", "delete dir dst/case", "directory dst/case",
                                     "directory dst/Case", "add dst/Case/new.txt"}));
  EXPECT_EQ(ReadTextFile(t.destination / "Case/new.txt"), "new");
  EXPECT_FALSE(fs::exists(t.destination / "Case/x.txt"));
  // The stored name takes the source's case, except under Wine, whose MoveFileW keeps it.
  if (!RunningUnderWine()) {
    EXPECT_EQ(Listing(t.destination), "Case/ Case/new.txt=new");
  }
}
