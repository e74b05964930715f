// Virtual mode on trees with every kind of difference: the lines of a real run, no change to
// either tree. And a real run on such trees leaves nothing for a second run to do.
#include <algorithm>

#include "tandrel_test.h"

TEST(VirtualMode, WritesTheLinesOfARealRunAndChangesNothing) {
  // A new file, an updated file, a destination-only file and tree (with read-only and hidden
  // entries), a new tree (with an empty directory), an equal pair whose attributes differ, a
  // read-only destination file to update, and a directory pair with changes of its own.
  TreePair t;
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
  SetAttributes(d / "deldir/x.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  SetAttributes(d / "deldir/sub/y.txt", FILE_ATTRIBUTE_READONLY);
  SetAttributes(d / "deldir/sub", FILE_ATTRIBUTE_HIDDEN);
  for (const fs::path& p : {s / "meta.txt", d / "rodst.txt", d / "deldir/x.txt"}) {
    ASSERT_TRUE(Attributes(p) & FILE_ATTRIBUTE_READONLY) << p;
  }

  const std::string sourceBefore = Snapshot(s), destinationBefore = Snapshot(d);
  RunResult dry = t.Run({"-ld", "-le", "-v"});
  EXPECT_EQ(dry.exitCode, dry.err.empty() ? 0 : 1);
  EXPECT_EQ(dry.err, "");
  EXPECT_EQ(Snapshot(s), sourceBefore);
  EXPECT_EQ(Snapshot(d), destinationBefore);

  // The real run on the very same trees writes the same lines and does what they say. A deleted
  // tree has no line per file, under -ld a "directory" line per level.
  RunResult real = t.Run({"-ld", "-le"});
  EXPECT_EQ(real.exitCode, real.err.empty() ? 0 : 1);
  EXPECT_EQ(real.err, "");
  EXPECT_EQ(dry.out, real.out);
  const std::string lines =
      t.Log({"directory dst", "delete dir dst/deldir", "directory dst/deldir"}) +
      t.Log({"directory dst/deldir/sub", "add dst/add.txt", "delete dst/del.txt"}) +
      t.Log({"equal dst/meta.txt", "meta dst/meta.txt", "update dst/rodst.txt"}) +
      t.Log({"equal dst/same.txt", "update dst/upd.txt", "directory dst/newtree"}) +
      t.Log({"add dst/newtree/n1.txt", "directory dst/newtree/sub", "add dst/newtree/sub/n2.txt"}) +
      t.Log({"directory dst/newtree/empty", "directory dst/pair", "add dst/pair/inner_add.txt"}) +
      t.Log({"delete dst/pair/inner_del.txt", "equal dst/pair/inner_same.txt"}) +
      t.Log({"update dst/pair/inner_upd.txt"});
  EXPECT_EQ(SortedLines(real.out), SortedLines(lines));
  EXPECT_EQ(Snapshot(d), Snapshot(s));
  EXPECT_EQ(Snapshot(s), sourceBefore);
  // The new tree's lines come in the order of its enumeration: each directory's line first in
  // one block with everything below it.
  std::vector<std::string> paths;  // of each line, a separator after it
  for (size_t start = 0, end; (end = real.out.find('\n', start)) != std::string::npos;
       start = end + 1)
    paths.push_back(real.out.substr(start + 12, end - start - 12 - CONSOLE_CRLF) + kSeparator);
  for (const std::string& path : paths) {
    auto below = [&](const std::string& other) { return other.rfind(path, 0) == 0; };
    auto first = std::find_if(paths.begin(), paths.end(), below);
    auto last = std::find_if(paths.rbegin(), paths.rend(), below).base();
    EXPECT_TRUE(*first == path && std::all_of(first, last, below)) << path;
  }

  // A second run has nothing to do: the header alone.
  const std::string S = TempDir::PathText(s), D = TempDir::PathText(d);
  RunResult second = RunTandrel({S, D});
  EXPECT_EQ(second.exitCode, second.err.empty() ? 0 : 1);
  EXPECT_EQ(second.out, Header(S, D));
  EXPECT_EQ(second.err, "");
}
