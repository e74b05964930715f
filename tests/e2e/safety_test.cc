// Where the program keeps data safe: a failed copy leaves the source's archive attribute and
// the old destination file, links in the destination go as links, the destination never
// mirrors into itself or the source, and link loops are never entered.
#include <cstdlib>
#include <fstream>

#include "tandrel_test.h"

TEST(Safety, FailedCopyKeepsTheArchiveAttributeAndTheOldFile) {
  if (kWindowsBuild) {
    GTEST_SKIP() << "The failed copy is provoked with chattr, a Linux tool";
  }
  TreePair t;
  const fs::path &s = t.source, &d = t.destination;
  MakeFiles(s, "locked/add.txt=added open/ok.txt=ok");
  MakeFile(s / "locked/upd.txt", "fresh", kFileTime + 100 * kSecond);
  MakeFiles(d, "locked/upd.txt=old open/");
  const std::string locked = TempDir::PathText(d / "locked");
  if (std::system(("chattr +i '" + locked + "' 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "chattr +i is refused or not supported here";
  }
  struct Unlock {
    std::string command;
    ~Unlock() { EXPECT_EQ(std::system(command.c_str()), 0) << command; }
  } unlock{"chattr -i '" + locked + "'"};
  std::ofstream(d / "locked/probe") << "probe";
  if (fs::exists(d / "locked/probe")) {
    GTEST_SKIP() << "chattr +i does not stop a file being created in the directory here";
  }
  RunResult r = t.Run({"-ua"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out,
            t.Log({"add dst/locked/add.txt", "update dst/locked/upd.txt", "add dst/open/ok.txt"}));
  ExpectReports(r.err,
                {"Unable to copy " + Under(TempDir::PathText(s), "locked/add.txt"),
                 "Unable to copy " + Under(TempDir::PathText(s), "locked/upd.txt")},
                "Operation not permitted\n");
  // Not backed up: both keep the archive attribute; the destination keeps its old file, and
  // no temporary file is left beside it. The copy that worked cleared it.
  for (const char* file : {"locked/add.txt", "locked/upd.txt", "open/ok.txt"})
    EXPECT_EQ(Attributes(s / file) & FILE_ATTRIBUTE_ARCHIVE,
              file[0] == 'l' ? FILE_ATTRIBUTE_ARCHIVE : 0u)
        << file;
  EXPECT_EQ(WriteTime(d / "locked/upd.txt"), kFileTime);
  EXPECT_EQ(Listing(d), "locked/ locked/upd.txt=old open/ open/ok.txt=ok");
}

TEST(Safety, LinksAreRemovedAsLinksWithoutTouchingTheirTargets) {
  TreePair t;
  const fs::path targets = t.temp.path() / "targets", probe = t.temp.path() / "probe";
  MakeFiles(targets, "inner/t.txt=t top/u.txt=u");
  MakeFile(targets / "file.txt", "keep", kFileTime,
           FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  const std::string targetsBefore = Snapshot(targets);
  if (!MakeDirectoryLink(targets / "inner", probe) || !RemoveDirectoryW(probe.wstring().c_str())) {
    GTEST_SKIP() << "No directory symbolic link can be made, or RemoveDirectoryW cannot remove "
                    "one, here (error "
                 << GetLastError() << ")";
  }
  // A link inside a destination-only tree, and a destination-only directory that is a link:
  // neither is entered, so no "directory" line names them. A file link (native: Wine's
  // DeleteFileW deletes the target): clearing its protective attributes before the deletion
  // must not reach through it.
  MakeFiles(t.destination, "D/f.txt=f");
  ASSERT_TRUE(MakeDirectoryLink(targets / "inner", t.destination / "D/link"));
  ASSERT_TRUE(MakeDirectoryLink(targets / "top", t.destination / "L"));
  ASSERT_TRUE(Attributes(t.destination / "L") & FILE_ATTRIBUTE_REPARSE_POINT);
  std::vector<std::string> rows{"directory dst", "delete dir dst/D", "directory dst/D",
                                "delete dir dst/L"};
  if (!kWindowsBuild) {
    fs::create_symlink(targets / "file.txt", t.destination / "link.txt");
    ASSERT_TRUE(Attributes(t.destination / "link.txt") & FILE_ATTRIBUTE_READONLY);
    rows.push_back("delete dst/link.txt");
  }
  EXPECT_TRUE(t.Writes({"-ld"}, rows));
  EXPECT_EQ(Listing(t.destination), "");
  EXPECT_EQ(Snapshot(targets), targetsBefore);
}

TEST(Safety, DestinationInsideTheSourceIsMirroredWithoutItself) {
  TempDir temp;
  const fs::path s = temp.path() / "src", d = s / "backup";
  MakeFiles(s, "a.txt=a sub/b.txt=b backup/old.txt=old backup/backup/");
  const std::string S = TempDir::PathText(s), D = TempDir::PathText(d);
  RunResult r = RunTandrel({S, D, "-lh=n"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  // The destination root is invisible on the source side, so its own "backup" is destination-only.
  EXPECT_EQ(r.out + r.err,
            LogLines(D, {"delete dir backup", "add a.txt", "delete old.txt", "add sub/b.txt"}));
  EXPECT_EQ(Listing(d), "a.txt=a sub/ sub/b.txt=b");
  EXPECT_EQ(RunTandrel({S, D, "-lh=n"}).out, "");
}

TEST(Safety, LinkLoopsAndLinksIntoTheSourceAreNeverEntered) {
  TreePair t;
  const fs::path &s = t.source, &d = t.destination;
  MakeFiles(s, "a/f.txt=f n/g.txt=g p/h.txt=h q/i.txt=i");
  MakeFiles(d, "a/loop/k.txt=kept");
  if (!MakeDirectoryLink(s / "a", s / "a/loop")) {
    GTEST_SKIP() << "No directory symbolic link can be made here (Wine 8 cannot)";
  }
  // A loop in the pass and one in a new tree, a link to the destination root (invisible), and a
  // destination link into the source, which the pass would otherwise mirror into.
  fs::create_directory_symlink(s, s / "n/up");
  fs::create_directory_symlink(d, s / "todst");
  fs::create_directory_symlink(s / "q", d / "p");
  const std::string sourceBefore = Snapshot(s);
  const std::string S = TempDir::PathText(s), D = TempDir::PathText(d);
  for (int run = 1; run <= 2; run++) {
    SCOPED_TRACE(run);
    RunResult r = t.Run({});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out,
              run == 1 ? t.Log({"add dst/a/f.txt", "add dst/n/g.txt", "add dst/q/i.txt"}) : "");
    ExpectReports(r.err,
                  {"Unable to browse directory " + Under(S, "a/loop"),
                   "Unable to browse directory " + Under(S, "n/up"),
                   "Unable to browse directory " + Under(D, "p")},
                  "Too many levels of symbolic links\n");
    EXPECT_EQ(Snapshot(s), sourceBefore);
    EXPECT_EQ(ReadTextFile(d / "a/loop/k.txt"), "kept");
    EXPECT_FALSE(fs::exists(d / "n/up") || fs::exists(d / "todst"));
  }
}

TEST(Safety, AnUpdateThatDoesNotFitLeavesTheOldFileAsItWas) {
  const fs::path volume = fs::path(TANDREL_TEST_VOLUMES) / "small";
  if (!fs::exists(volume.string() + ".mounted")) {
    GTEST_SKIP() << "No 1 MiB volume is mounted for the test (mounting needs root)";
  }
  TempDir temp;
  const fs::path s = temp.path() / "src", d = volume / temp.path().filename();
  RemovedAtEnd removed{d};
  // In place the new file would fit; beside the old one it does not.
  MakeFile(s / "big.bin", std::string(700 << 10, 'n'), kFileTime + 100 * kSecond);
  MakeFile(d / "big.bin", std::string(400 << 10, 'o'), kFileTime, FILE_ATTRIBUTE_READONLY);
  const std::string before = Snapshot(d);
  const std::string S = TempDir::PathText(s), D = TempDir::PathText(d);
  RunResult r = RunTandrel({S, D, "-lh=n"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, LogLines(D, {"update big.bin"}));
  ExpectReports(r.err, {"Unable to copy " + Under(S, "big.bin")}, "No space left on device\n");
  EXPECT_EQ(Snapshot(d), before);  // contents, time and attributes; no temporary file
}
