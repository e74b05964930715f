// Where the program keeps data safe: a failed copy leaves the source's archive attribute and
// the old destination file, links in the destination go as links, the destination never
// mirrors into the source, and link loops are never entered. (A destination inside the source:
// command_line_test.cc.)
#include <cstdlib>

#include "tandrel_test.h"

TEST(Safety, FailedCopyKeepsTheArchiveAttributeAndTheOldFile) {
  TreePair t;
  const fs::path &s = t.source, &d = t.destination;
  MakeFiles(s, "locked/add.txt=added open/eq.txt=eq open/ok.txt=ok");
  MakeFile(s / "locked/upd.txt", "fresh", kFileTime + 100 * kSecond);
  MakeFiles(d, "locked/old.txt=x locked/upd.txt=old open/eq.txt=eq");
  const std::string locked = PathText(d / "locked"), before = Listing(d / "locked", true);
  if (kWindowsBuild || std::system(("chattr +i '" + locked + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "No directory can be made immutable here (chattr +i, as root on Linux)";
  // Each source entry's archive attribute: "a" set, "-" cleared.
  auto archived = [&] {
    std::string flags;
    for (const char* f : {"locked/add.txt", "locked/upd.txt", "open/eq.txt", "open/ok.txt", "open"})
      flags += (Attributes(s / f) & FILE_ATTRIBUTE_ARCHIVE) ? "a" : "-";
    return flags;
  };
  const std::vector<std::string> rows{"add dst/locked/add.txt", "delete dst/locked/old.txt",
                                      "update dst/locked/upd.txt", "equal dst/open/eq.txt",
                                      "add dst/open/ok.txt"};
  EXPECT_TRUE(t.Writes({"-ua", "-le", "-v"}, rows));  // virtual mode changes no attribute
  EXPECT_EQ(archived(), "aaaaa");
  RunResult r = t.Run({"-ua", "-le"});
  EXPECT_EQ(std::system(("chattr -i '" + locked + "'").c_str()), 0);
  EXPECT_EQ(r.out, t.Log(rows));
  ExpectReports(r,
                {"Unable to copy " + Under(t.temp.str(), "src/locked/add.txt"),
                 "Unable to delete " + Under(t.temp.str(), "dst/locked/old.txt"),
                 "Unable to copy " + Under(t.temp.str(), "src/locked/upd.txt")},
                "Operation not permitted\n");
  // Not backed up, both keep the archive attribute; the equal file and the copy that worked
  // have it cleared. The destination keeps its old files and time, with no temporary file.
  EXPECT_EQ(archived() + Listing(d / "locked", true), "aa---" + before);
}

TEST(Safety, LinksAreNeverEnteredAndGoAsLinksWithoutTouchingTheirTargets) {
  TreePair t;
  const fs::path &s = t.source, &d = t.destination, targets = t.temp.path() / "targets";
  MakeFiles(s, "a/f.txt=f n/g.txt=g p/h.txt=h q/i.txt=i");
  MakeFiles(d, "a/loop/k.txt=kept D/f.txt=f");
  MakeFiles(targets, "inner/t.txt=t top/u.txt=u");
  MakeFile(targets / "file.txt", "keep", kFileTime,
           FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  if (!MakeDirectoryLink(targets / "inner", t.temp.path() / "probe"))
    GTEST_SKIP() << "No directory symbolic link can be made here (Wine 8 cannot)";
  // Source: a loop in the pass and one in a new tree, a link to the destination root
  // (invisible). Destination: a link into the source, which the pass would otherwise mirror
  // into; a link inside a destination-only tree and a destination-only directory that is a
  // link, deleted without being entered (no "directory" line names them); a file link (native:
  // Wine's DeleteFileW deletes the target), whose protective attributes must be cleared on the
  // link, not through it. Entries below a directory that cannot be listed stay.
  // clang-format off
  const fs::path links[][2] = {{s / "a", s / "a/loop"}, {s, s / "n/up"}, {d, s / "todst"},
      {s / "q", d / "p"}, {targets / "inner", d / "D/link"}, {targets / "top", d / "L"}};
  // clang-format on
  for (const auto& link : links) ASSERT_TRUE(MakeDirectoryLink(link[0], link[1]));
  if (!kWindowsBuild)
    fs::create_symlink(targets / "file.txt", d / "link.txt");
  const std::string before = Listing(s, true) + " | " + Listing(targets, true);
  RunResult r = t.Run({"-ld"});
  EXPECT_EQ(r.out,
            t.Log({"directory dst", "delete dir dst/D", "directory dst/D", "delete dir dst/L"}) +
                (kWindowsBuild ? "" : t.Log({"delete dst/link.txt"})) +
                t.Log({"directory dst/a", "add dst/a/f.txt", "directory dst/n", "add dst/n/g.txt",
                       "directory dst/q", "add dst/q/i.txt"}));
  ExpectReports(r,
                {"Unable to browse directory " + Under(t.temp.str(), "src/a/loop"),
                 "Unable to browse directory " + Under(t.temp.str(), "src/n/up"),
                 "Unable to browse directory " + Under(t.temp.str(), "dst/p")},
                "Too many levels of symbolic links\n");
  EXPECT_EQ(Listing(s, true) + " | " + Listing(targets, true), before);
  EXPECT_EQ(Listing(d), "a/ a/f.txt=f a/loop/ a/loop/k.txt=kept n/ n/g.txt=g p/ q/ q/i.txt=i");
  // --no-junctions leaves links out on both sides: the loops in the source, one in a new tree (n,
  // once more) too, and the link in the destination, never written through, even for a new
  // source directory of its name.
  fs::remove_all(d / "n");
  r = t.Run({"-nj"});
  EXPECT_EQ(r.out, t.Log({"delete dir dst/a/loop", "add dst/n/g.txt"}));
  ExpectReports(r, {"Unable to create directory " + Under(t.temp.str(), "dst/p")}, "File exists\n");
  EXPECT_EQ(Listing(s, true) + " | " + Listing(targets, true), before);
  EXPECT_TRUE(fs::is_symlink(d / "p"));
}

TEST(Safety, OneEntryNeverHidesItsDirectory) {
  if (kWindowsBuild || std::system("test \"$(id -u)\" = 0") != 0)
    GTEST_SKIP() << "Needs root (setpriv) and symbolic links as Windows makes them (not Wine's)";
  // A dangling link on either side, and as uid 65534 a file and a directory it may not read, a
  // directory pair whose source it may not read (reported once) and an equal pair whose source it
  // may not read (its destination stays hidden): the rest is mirrored and updated by the next
  // run, which reports each failure again.
  // clang-format off
  const std::tuple<std::vector<std::string>, std::string, std::vector<std::string>, std::string,
                   std::string> cases[] = {
      {{}, "add lock", {"Unable to copy src/lock"}, "ln -s gone src/lock", "No such file or directory\n"},
      {{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}, "add key",
       {"Unable to copy src/key", "Unable to read attributes src/same", "Unable to browse directory "
        "src/locked", "Unable to browse directory src/p"}, "mkdir src/locked && touch src/key && "
       "chown -R 65534:65534 . && chmod 0 src/locked src/key src/same src/p",
       "Permission denied\n"}};
  // clang-format on
  for (const auto& [runner, add, reports, setup, text] : cases) {
    TreePair t;
    MakeFiles(t.temp.path(), "src/a=a src/d/b=b src/p/ dst/p/ src/same= dst/same=");
    const std::string shared =
        "ln -s gone dst/old && setfattr -n user.DOSATTRIB -v '\"0x2\"' src/same dst/same && ";
    ASSERT_EQ(std::system(("cd " + t.temp.str() + " && " + shared + setup).c_str()), 0);
    std::vector<std::string> rows = {"add a", add, "delete old", "add d/b"};
    for (int run = 0; run < 2; run++, rows = {"update a", add}) {
      RunResult r = RunTandrel({"src", "dst", "-lh=n"}, t.temp.path(), 0, runner);
      EXPECT_EQ(r.out, LogLines("dst", rows));
      ExpectReports(r, reports, text);
      MakeFile(t.source / "a", "A", kFileTime + 100 * kSecond);
    }
    EXPECT_EQ(Listing(t.destination), "a=A d/ d/b=b p/ same=");
    EXPECT_TRUE(Attributes(t.destination / "same") & FILE_ATTRIBUTE_HIDDEN);
  }
}

TEST(Safety, AnUpdateThatDoesNotFitLeavesTheOldFileAsItWas) {
  const fs::path volume = fs::path(TANDREL_TEST_VOLUMES) / "small";
  if (!fs::exists(volume.string() + ".mounted"))
    GTEST_SKIP() << "No 1 MiB volume is mounted for the test (mounting needs root)";
  TempDir temp;
  const fs::path s = temp.path() / "src", d = volume / temp.path().filename();
  RemovedAtEnd removed{d};
  // In place the new file would fit; beside the old one it does not.
  MakeFile(s / "big.bin", std::string(700 << 10, 'n'), kFileTime + 100 * kSecond);
  MakeFile(d / "big.bin", std::string(400 << 10, 'o'), kFileTime, FILE_ATTRIBUTE_READONLY);
  const std::string before = Listing(d, true), S = PathText(s), D = PathText(d);
  RunResult r = RunTandrel({S, D, "-lh=n"});
  EXPECT_EQ(r.out, LogLines(D, {"update big.bin"}));
  ExpectReports(r, {"Unable to copy " + Under(S, "big.bin")}, "No space left on device\n");
  EXPECT_EQ(Listing(d, true), before);  // contents, time and attributes; no temporary file
}

TEST(Safety, LinksAboveOrAcrossTheRootsAreNeverEntered) {
  // The source sorts before the destination, so a walk through the destination's link to the
  // roots' parent would meet it and delete it.
  TempDir temp;
  const fs::path a = temp.path() / "a", z = temp.path() / "z";
  MakeFiles(temp.path(), "a/w/loop/k.txt=k a/x/f.txt=f a/y/g.txt=g z/w/ beside.txt=b");
  if (!MakeDirectoryLink(temp.path(), z / "x"))
    GTEST_SKIP() << "No directory symbolic link can be made here (Wine 8 cannot)";
  // Source: into the destination tree, to the source's parent inside a new tree (no link to "/":
  // a fault would copy the whole disk). Destination: a link back to the destination root,
  // beside a real source directory.
  const fs::path links[][2] = {{z / "w", a / "inz"}, {temp.path(), a / "y/up"}, {z, z / "w/loop"}};
  for (const auto& link : links) ASSERT_TRUE(MakeDirectoryLink(link[0], link[1]));
  const std::string before = Listing(a, true), A = PathText(a), Z = PathText(z);
  RunResult r = RunTandrel({A, Z, "-lh=n"});
  EXPECT_EQ(r.out, LogLines(Z, {"add y/g.txt"}));
  ExpectReports(r,
                {"Unable to browse directory " + Under(A, "inz"),
                 "Unable to browse directory " + Under(Z, "w/loop"),
                 "Unable to browse directory " + Under(Z, "x"),
                 "Unable to browse directory " + Under(A, "y/up")},
                "Too many levels of symbolic links\n");
  EXPECT_EQ(Listing(a, true), before);
  EXPECT_EQ(ReadTextFile(temp.path() / "beside.txt"), "b");
  EXPECT_EQ(Listing(z), "w/ w/loop/ x/ y/ y/g.txt=g");
}

TEST(Safety, DeletingOrReplacingANameLeavesTheFilesOtherNamesAsTheyWere) {
  // A destination sharing files with the source through hard links (snapshots).
  TreePair t;
  MakeFile(t.source / "keep.txt", "k", kFileTime, FILE_ATTRIBUTE_READONLY);
  MakeFile(t.source / "upd.txt", "new", kFileTime + 100 * kSecond);
  std::error_code error;
  for (const char* name : {"gone.txt", "upd.txt"})
    fs::create_hard_link(t.source / "keep.txt", t.destination / name, error);
  if (error)
    GTEST_SKIP() << "No hard link can be made here: " << error.message();
  const std::string before = Listing(t.source, true);
  EXPECT_TRUE(t.Writes({}, {"delete dst/gone.txt", "add dst/keep.txt", "update dst/upd.txt"}));
  EXPECT_EQ(Listing(t.source, true), before);
  EXPECT_EQ(fs::status(t.source / "keep.txt").permissions() & fs::perms::owner_write,
            fs::perms::none);
}

TEST(Safety, MaxDeleteRefusesARunThatWouldDeleteMoreAndChangesNothing) {
  // An emptied source (an unmounted drive) against its mirror: five files and five directories
  // to delete, each directory once whatever it holds, as the dry run's lines count them.
  TreePair t;
  MakeFiles(t.destination, "a=a b=b .c=c d=d e/ f/f1=1 f/f2=2 f/g/g1=g h/h1=h i/ j=j k/k1=k");
  const std::string before = Listing(t.temp.path(), true), dry = t.Run({"-v"}).out;
  size_t deletions = 0;
  for (const std::string& line : Lines(dry)) deletions += line.rfind("delete", 0) == 0;
  EXPECT_EQ(deletions, 10u);
  // Options; the limit a refusal names (with the header on, it writes nothing on the standard
  // output), or "" for a run exactly as without the option: here as the dry run.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"-md=1", "-lh"}, "1"},       {{"--max-delete=9", "-lh"}, "9"},
      {{"-md=9", "-v", "-lh"}, "9"}, {{"-md=10", "-v"}, ""},
      {{"-md=0", "-v"}, ""},         {{"-md=-1", "-v"}, ""}};
  for (const auto& [options, limit] : cases) {
    const RunResult r = t.Run(options);
    const std::string error =
        limit.empty() ? ""
                      : Console("Error: the run would delete " + std::to_string(deletions) +
                                " entries, more than --max-delete=" + limit +
                                " allows; nothing was changed.\n");
    EXPECT_EQ(std::tie(r.exitCode, r.out, r.err),
              std::make_tuple(!limit.empty(), limit.empty() ? dry : "", error));
    EXPECT_EQ(Listing(t.temp.path(), true), before) << options[0];
  }
  const RunResult r = t.Run({"-md=10"});  // the real run writes the dry run's lines too
  EXPECT_EQ(std::tie(r.exitCode, r.out, r.err), std::make_tuple(0, dry, ""));
  EXPECT_EQ(Listing(t.destination), "");
}

// A temporary file is made new, never through a link planted at its name: the copy takes
// another name, and the link and its target stay as they were.
TEST(Safety, ATemporaryFileIsNeverMadeThroughALink) {
  TreePair t;
  MakeFiles(t.temp.path(), "src/new.txt=fresh target=kept");
  if (!RunHostCommand("ln -s ../target .tandrel-planted", t.destination))
    GTEST_SKIP() << "No symbolic link can be made here (needs Linux, or Wine)";
  putenv(const_cast<char*>("TANDREL_TEMPORARY_NAME=.tandrel-planted"));
  EXPECT_TRUE(t.Writes({"-nd"}, {"add dst/new.txt"}));
  putenv(const_cast<char*>("TANDREL_TEMPORARY_NAME="));
  EXPECT_EQ(ReadTextFile(t.destination / "new.txt") + ReadTextFile(t.temp.path() / "target"),
            "freshkept");
  EXPECT_TRUE(RunHostCommand("test -L .tandrel-planted", t.destination));
}
