// Where the program keeps data safe: a failed copy leaves the source's archive attribute and
// the old destination file, links in the destination go as links, the destination never
// mirrors into the source, link loops are never entered, nor a directory swapped for a link
// during the run. (A destination inside the source: command_line_test.cc.)
#include "tandrel_test.h"

TEST(Safety, FailedCopyKeepsTheArchiveAttributeAndTheOldFile) {
  TreePair t;
  const fs::path &s = t.source, &d = t.destination;
  MakeFiles(s, "locked/add.txt=added open/eq.txt=eq open/ok.txt=ok");
  MakeFile(s / "locked/upd.txt", "fresh", kFileTime + 100 * kSecond);
  MakeFiles(d, "locked/old.txt=x locked/upd.txt=old open/eq.txt=eq");
  const std::string before = Listing(d / "locked", true);
  if (kWindowsBuild || !t.Shell("chattr +i dst/locked 2>/dev/null"))
    GTEST_SKIP() << "No directory can be made immutable here (chattr +i, as root on Linux)";
  // Each source entry's archive attribute: "a" set, "-" cleared.
  auto archived = [&] {
    std::string flags;
    for (const char* f : {"locked/add.txt", "locked/upd.txt", "open/eq.txt", "open/ok.txt", "open"})
      flags += (Attributes(s / f) & kAttributeArchive) ? "a" : "-";
    return flags;
  };
  const std::vector<std::string> rows{"add dst/locked/add.txt", "delete dst/locked/old.txt",
                                      "update dst/locked/upd.txt", "equal dst/open/eq.txt",
                                      "add dst/open/ok.txt"};
  EXPECT_TRUE(t.Writes({"-ua", "-le", "-v"}, rows));  // virtual mode changes no attribute
  EXPECT_EQ(archived(), "aaaaa");
  RunResult r = t.Run({"-ua", "-le", "-ls"});
  EXPECT_TRUE(t.Shell("chattr -i dst/locked"));
  // The summary counts a failed action as failed alone.
  EXPECT_EQ(r.out.substr(0, r.out.rfind(" in ")),
            t.Log(rows) +
                "Summary: 1 added, 0 updated, 0 deleted, 0 directories deleted, 1 equal, "
                "0 ignored, 3 failed; 2 bytes copied");
  ExpectReports(r,
                {"Unable to copy src/locked/add.txt", "Unable to delete dst/locked/old.txt",
                 "Unable to copy src/locked/upd.txt"},
                "Operation not permitted\n", t.temp.str());
  // Not backed up, both keep the archive attribute; the equal file and the copy that worked
  // have it cleared. The destination keeps its old files and time, with no temporary file.
  EXPECT_EQ(archived() + Listing(d / "locked", true), "aa---" + before);
}

TEST(Safety, LinksAreNeverEnteredAndGoAsLinksWithoutTouchingTheirTargets) {
  TreePair t;
  const fs::path &s = t.source, &d = t.destination, targets = t.temp.path() / "targets";
  MakeFiles(s, "a/f.txt=f a/w/ n/g.txt=g p/h.txt=h q/i.txt=i x/");
  MakeFiles(d, "a/loop/k.txt=kept D/f.txt=f");
  MakeFiles(targets, "inner/t.txt=t top/u.txt=u");
  MakeFile(targets / "file.txt", "keep", kFileTime, kAttributeReadOnly | kAttributeHidden);
  if (!MakeLink(targets / "inner", t.temp.path() / "probe", true))
    GTEST_SKIP() << "No directory symbolic link can be made here (Wine 8 cannot)";
  // Source: a loop in the pass, a link to the roots' parent in a new tree (no link to "/": a
  // fault would copy the whole disk), a link to the destination root (invisible) and one into
  // the destination tree. Destination, each beside a real source directory: a link into the
  // source, which the pass would otherwise mirror into, one to the destination root and one to
  // the roots' parent, which a walk would empty; a link inside a destination-only tree and a
  // destination-only directory that is a link, deleted without being entered (no "directory"
  // line names them); a file link (native: Wine's DeleteFileW deletes the target), whose
  // protective attributes must be cleared on the link, not through it. Entries below a
  // directory that cannot be listed stay.
  // clang-format off
  const fs::path links[][2] = {{s / "a", s / "a/loop"}, {t.temp.path(), s / "n/up"},
      {d, s / "todst"}, {d / "a", s / "inz"}, {s / "q", d / "p"}, {d, d / "a/w"},
      {t.temp.path(), d / "x"}, {targets / "inner", d / "D/link"}, {targets / "top", d / "L"}};
  // clang-format on
  for (const auto& link : links) ASSERT_TRUE(MakeLink(link[0], link[1], true));
  EXPECT_TRUE(kWindowsBuild || MakeLink(targets / "file.txt", d / "link.txt"));
  const std::string before = Listing(s, true) + " | " + Listing(targets, true);
  RunResult r = t.Run({"-ld"});
  EXPECT_EQ(r.out,
            t.Log({"directory dst", "delete dir dst/D", "directory dst/D", "delete dir dst/L"}) +
                (kWindowsBuild ? "" : t.Log({"delete dst/link.txt"})) +
                t.Log({"directory dst/a", "add dst/a/f.txt", "directory dst/n", "add dst/n/g.txt",
                       "directory dst/q", "add dst/q/i.txt"}));
  const std::string browse = "Unable to browse directory ";
  ExpectReports(r,
                {browse + "src/a/loop", browse + "dst/a/w", browse + "src/inz", browse + "src/n/up",
                 browse + "dst/p", browse + "dst/x"},
                "Too many levels of symbolic links\n", t.temp.str());
  EXPECT_EQ(Listing(s, true) + " | " + Listing(targets, true), before);
  EXPECT_EQ(Listing(d),
            "a/ a/f.txt=f a/loop/ a/loop/k.txt=kept a/w/ n/ n/g.txt=g p/ q/ q/i.txt=i x/");
  // --no-junctions leaves links out on both sides: those in the source, one in a new tree (n,
  // once more) too, and those in the destination, never written through, even for a new source
  // directory of their name.
  fs::remove_all(d / "n");
  r = t.Run({"-nj"});
  EXPECT_EQ(r.out, t.Log({"delete dir dst/a/loop", "add dst/n/g.txt"}));
  const std::string create = "Unable to create directory ";
  ExpectReports(r, {create + "dst/a/w", create + "dst/p", create + "dst/x"}, "File exists\n",
                t.temp.str());
  EXPECT_EQ(Listing(s, true) + " | " + Listing(targets, true), before);
  EXPECT_TRUE(fs::is_symlink(d / "p"));
}

TEST(Safety, OneEntryNeverHidesItsDirectory) {
  if (kWindowsBuild || !RunHostCommand("test $(id -u) = 0", "."))
    GTEST_SKIP() << "Needs root (setpriv) and symbolic links as Windows makes them (not Wine's)";
  // A dangling link on either side, and as uid 65534 a file and a directory it may not read, a
  // directory pair neither side of which it may read (the source reported, once; the destination
  // never listed) and an equal pair whose source it may not read (its destination stays hidden):
  // the rest is mirrored and updated by the next run, which reports each failure again.
  // clang-format off
  const std::tuple<std::vector<std::string>, std::string, std::vector<std::string>, std::string,
                   std::string> cases[] = {
      {{}, "add lock", {"Unable to copy src/lock"}, "ln -s gone src/lock", "No such file or directory\n"},
      {{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}, "add key",
       {"Unable to copy src/key", "Unable to read attributes src/same", "Unable to browse directory "
        "src/locked", "Unable to browse directory src/p"}, "mkdir src/locked && touch src/key && "
       "chown -R 65534:65534 . && chmod 0 src/locked src/key src/same src/p dst/p",
       "Permission denied\n"}};
  // clang-format on
  for (const auto& [runner, add, reports, setup, text] : cases) {
    TreePair t;
    MakeFiles(t.temp.path(), "src/a=a src/d/b=b src/p/ dst/p/ src/same= dst/same=");
    const std::string shared =
        "ln -s gone dst/old && setfattr -n user.DOSATTRIB -v '\"0x2\"' src/same dst/same && ";
    ASSERT_TRUE(t.Shell(shared + setup));
    std::vector<std::string> rows = {"add a", add, "delete old", "add d/b"};
    for (int run = 0; run < 2; run++, rows = {"update a", add}) {
      RunResult r = RunTandrel({"src", "dst", "-lh=n"}, t.temp.path(), 0, runner);
      EXPECT_EQ(r.out, LogLines("dst", rows));
      ExpectReports(r, reports, text);
      MakeFile(t.source / "a", "A", kFileTime + 100 * kSecond);
    }
    EXPECT_EQ(Listing(t.destination), "a=A d/ d/b=b p/ same=");
    EXPECT_TRUE(Attributes(t.destination / "same") & kAttributeHidden);
  }
}

// Two roots uid 65534 may enter but not read: the source is reported; the destination, listed
// beside it by a worker, is not, as one thread never lists it.
TEST(Safety, AnUnreadableSourceRootIsReportedAlone) {
  if (kWindowsBuild || !RunHostCommand("test $(id -u) = 0", "."))
    GTEST_SKIP() << "Needs root (setpriv)";
  TreePair t;
  MakeFiles(t.temp.path(), "src/a=a dst/b=b");
  ASSERT_TRUE(t.Shell("chown -R 65534:65534 . && chmod 0100 src dst"));
  RunResult r =
      RunTandrel({"src", "dst", "-lh=n", "-j=2"}, t.temp.path(), 0,
                 {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  ExpectReports(r, {"Unable to browse directory src"}, "Permission denied\n");
  EXPECT_EQ(r.out, "");
}

TEST(Safety, MaxDeleteRefusesARunThatWouldDeleteMoreAndChangesNothing) {
  // An emptied source (an unmounted drive) against its mirror: five files and five directories
  // to delete, each directory once whatever it holds, as the dry run's lines would count them.
  TreePair t;
  MakeFiles(t.destination, "a=a b=b .c=c d=d e/ f/f1=1 f/f2=2 f/g/g1=g h/h1=h i/ j=j k/k1=k");
  const std::string before = Listing(t.temp.path(), true), dry = t.Run({"-v"}).out;
  // Options; the limit a refusal names (with the header on, it writes nothing on the standard
  // output), or "" for a run exactly as without the option: here as the dry run.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"-md=1", "-lh"}, "1"},       {{"--max-delete=9", "-lh"}, "9"},
      {{"-md=9", "-v", "-lh"}, "9"}, {{"-md=10", "-v"}, ""},
      {{"-md=0", "-v"}, ""},         {{"-md=-1", "-v"}, ""}};
  for (const auto& [options, limit] : cases) {
    const RunResult r = t.Run(options);
    const std::string error =
        "Error: the run would delete 10 entries, more than --max-delete=" + limit +
        " allows; nothing was changed.\n";
    EXPECT_EQ(std::tie(r.exitCode, r.out, r.err),
              std::make_tuple(!limit.empty(), limit.empty() ? dry : "",
                              limit.empty() ? "" : Console(error)));
    EXPECT_EQ(Listing(t.temp.path(), true), before) << options[0];
  }
  const RunResult r = t.Run({"-md=10"});  // the real run writes the dry run's lines too
  EXPECT_EQ(std::tie(r.exitCode, r.out, r.err), std::make_tuple(0, dry, ""));
  EXPECT_EQ(Listing(t.destination), "");
}

TEST(FaultHook, ADirectorySwappedForALinkAfterItsListingIsNeverEntered) {
#if !TANDREL_FAULT_INJECTION
  GTEST_SKIP() << "This build has no hook into a run (the native-asan preset has it)";
#else
  // Between the listing of the destination root and the visit of its directory "victim", the
  // directory is moved away and a link to a directory outside both trees put in its place: the
  // pass reports it and writes nothing there, nor deletes anything.
  TreePair t;
  MakeFiles(t.temp.path(), "src/victim/new=n dst/victim/old=o outside/keep=k");
  const std::string swap =
      "cd '" + t.destination.native() + "' && mv victim moved && ln -s ../outside victim";
  setenv("TANDREL_HOOK_NAME", "victim", 1);
  setenv("TANDREL_HOOK_COMMAND", swap.c_str(), 1);
  RunResult r = t.Run({"-j=1"});  // one thread: the hook's point is one place in the run
  unsetenv("TANDREL_HOOK_NAME");
  ExpectReports(r, {"Unable to browse directory " + Under(PathText(t.destination), "victim")},
                "Too many levels of symbolic links\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(Listing(t.temp.path() / "outside"), "keep=k");
#endif
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
