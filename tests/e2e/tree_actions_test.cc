// Whole directory trees: destination-only trees partly kept, source-only ones copied as new
// trees, and directories whose names differ in case alone. (More in virtual_mode_test.cc.)
#include "tandrel_test.h"

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
    EXPECT_EQ(r.exitCode, r.err.empty() ? 0 : 1);
    EXPECT_EQ(r.out, t.Log(c.rows));
    ExpectReports(r.err,
                  {"Unable to delete directory " + Under(TempDir::PathText(t.destination), "D")},
                  "Directory not empty\n");
    EXPECT_EQ(Listing(t.destination), c.after);
  }
}

TEST(CopyNewTree, HiddenSourceDirectoryMakesAHiddenDestinationDirectory) {
  if (RunningUnderWine()) {
    GTEST_SKIP() << "Wine's CreateDirectoryExW ignores the template directory's attributes";
  }
  TreePair t;
  MakeFiles(t.source, "H/a.txt=a H/V/b.txt=b");
  SetAttributes(t.source / "H", FILE_ATTRIBUTE_HIDDEN);
  ASSERT_TRUE(Attributes(t.source / "H") & FILE_ATTRIBUTE_HIDDEN);
  RunResult r = t.Run({});
  EXPECT_EQ(r.exitCode, r.err.empty() ? 0 : 1);
  EXPECT_EQ(SortedLines(r.out + r.err),
            SortedLines(t.Log({"add dst/H/a.txt", "add dst/H/V/b.txt"})));
  EXPECT_EQ(Snapshot(t.destination), Snapshot(t.source));
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
  // The stored name takes the source's case, except under Wine, whose MoveFileW keeps it.
  EXPECT_EQ(Listing(t.destination),
            RunningUnderWine() ? "case/ case/new.txt=new" : "Case/ Case/new.txt=new");
}
