// Virtual mode on trees with every kind of difference: the lines of a real run, no change to
// either tree. And a real run on such trees leaves nothing for a second run to do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tandrel_test.h"

namespace {

// A new file, an updated file, a destination-only file and tree, a new tree (with an empty
// directory), an equal pair whose attributes differ, a read-only destination file to update,
// and a directory pair with changes of its own.
void MakeTreesWithEveryChange(const TreePair& t) {
  const fs::path &s = t.source, &d = t.destination;
  MakeFiles(s, "add.txt=added same.txt=same meta.txt=meta newtree/n1.txt=n1 newtree/empty/");
  MakeFiles(s, "newtree/sub/n2.txt=n2 pair/inner_add.txt=ia pair/inner_same.txt=is");
  MakeFiles(d, "same.txt=same meta.txt=meta del.txt=gone deldir/x.txt=x deldir/sub/y.txt=y");
  MakeFiles(d, "upd.txt=old pair/inner_upd.txt=iu pair/inner_same.txt=is pair/inner_del.txt=id");
  MakeFile(s / "upd.txt", "new contents", kFileTime + 100 * kSecond);
  MakeFile(s / "pair/inner_upd.txt", "iu new", kFileTime + 100 * kSecond);
  SetAttributes(s / "meta.txt", FILE_ATTRIBUTE_READONLY);
  MakeFile(s / "rodst.txt", "fresh!", kFileTime + 50 * kSecond);
  MakeFile(d / "rodst.txt", "stale", kFileTime, FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(Attributes(s / "meta.txt") & FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(Attributes(d / "rodst.txt") & FILE_ATTRIBUTE_READONLY);
}

}  // namespace

TEST(VirtualMode, WritesTheLinesOfARealRunAndChangesNothing) {
  TreePair t;
  ASSERT_NO_FATAL_FAILURE(MakeTreesWithEveryChange(t));
  const std::string sourceBefore = Snapshot(t.source), destinationBefore = Snapshot(t.destination);
  RunResult dry = t.Run({"-ld", "-le", "-v"});
  EXPECT_EQ(dry.exitCode, 0);
  EXPECT_EQ(dry.err, "");
  EXPECT_EQ(Snapshot(t.source), sourceBefore);
  EXPECT_EQ(Snapshot(t.destination), destinationBefore);

  // The real run on the very same trees writes the same lines (the new tree's in the order of
  // its enumeration) and does what they say.
  RunResult real = t.Run({"-ld", "-le"});
  EXPECT_EQ(real.exitCode, 0);
  EXPECT_EQ(real.err, "");
  EXPECT_EQ(dry.out, real.out);
  EXPECT_EQ(SortedLines(real.out), SortedLines(t.Log({"directory dst",
                                                      "delete dir dst/deldir",
                                                      "directory dst/deldir",
                                                      "directory dst/deldir/sub",
                                                      "add dst/add.txt",
                                                      "delete dst/del.txt",
                                                      "equal dst/meta.txt",
                                                      "meta dst/meta.txt",
                                                      "update dst/rodst.txt",
                                                      "equal dst/same.txt",
                                                      "update dst/upd.txt",
                                                      "directory dst/newtree",
                                                      "add dst/newtree/n1.txt",
                                                      "directory dst/newtree/sub",
                                                      "add dst/newtree/sub/n2.txt",
                                                      "directory dst/newtree/empty",
                                                      "directory dst/pair",
                                                      "add dst/pair/inner_add.txt",
                                                      "delete dst/pair/inner_del.txt",
                                                      "equal dst/pair/inner_same.txt",
                                                      "update dst/pair/inner_upd.txt"})));
  EXPECT_EQ(Snapshot(t.destination), Snapshot(t.source));
  EXPECT_EQ(Snapshot(t.source), sourceBefore);
}

TEST(RepeatedRun, SecondRunWritesNothingButTheHeader) {
  TreePair t;
  ASSERT_NO_FATAL_FAILURE(MakeTreesWithEveryChange(t));
  const std::vector<std::string> arguments{TempDir::PathText(t.source),
                                           TempDir::PathText(t.destination)};
  const std::string header = Header(arguments[0], arguments[1]);
  RunResult first = RunTandrel(arguments);
  EXPECT_EQ(first.exitCode, 0);
  EXPECT_GT(first.out.size(), header.size());
  RunResult second = RunTandrel(arguments);
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.out, header);
  EXPECT_EQ(second.err, "");
  EXPECT_EQ(Snapshot(t.destination), Snapshot(t.source));
}
