// What a backup keeps beyond names, contents and attributes: owners run as root, directory
// times, hard links, extended attributes and symbolic links.
#include "tandrel_test.h"

static std::string LinkText(const fs::path& path) {
  std::error_code error;
  return fs::is_symlink(path, error) ? fs::read_symlink(path, error).string() : "no link";
}

TEST(Fidelity, OwnersAndGroupsAreKeptAndCorrectedRunAsRoot) {
  if (kWindowsBuild || !RunHostCommand("test $(id -u) = 0", "."))
    GTEST_SKIP() << "Owners are the Linux build's, and only a run as root gives files away";
  // Entries of other owners, a set-user-ID file among them: as copied, then with the
  // destination's owners changed (chown clears s's set-ID bit: a dry run leaves it so), then a
  // silent run.
  TreePair t;
  MakeFiles(t.source, "f=1 s=2 d/g=3");
  const std::string owners = "1234:5678:640 1234:5678:4755 42:43:2750 42:0:600";
  auto owned = [&](const std::string& expected) {
    return t.Shell("cd dst && test \"$(stat -c %u:%g:%a f s d d/g | xargs)\" = '" + expected + "'");
  };
  ASSERT_TRUE(
      t.Shell("cd src && chown 1234:5678 f s && chown 42:43 d && chown 42:0 d/g && "
              "chmod 640 f && chmod 4755 s && chmod 2750 d && chmod 600 d/g"));
  EXPECT_TRUE(t.Writes({}, {"add dst/f", "add dst/s", "add dst/d/g"}));
  EXPECT_TRUE(owned(owners));
  ASSERT_TRUE(t.Shell("chown 7:7 dst/f dst/s dst/d dst/d/g"));
  const std::vector<std::string> rows{"meta dst/f", "meta dst/s", "meta dst/d", "meta dst/d/g"};
  EXPECT_TRUE(t.Writes({"-v"}, rows));
  EXPECT_TRUE(owned("7:7:640 7:7:755 7:7:2750 7:7:600"));
  EXPECT_TRUE(t.Writes({}, rows));
  EXPECT_TRUE(owned(owners));
  EXPECT_TRUE(t.Writes({}, {}));
  // Run as another user nothing is tried: an equal pair of another owner stays, a copy is the
  // runner's.
  TreePair u;
  MakeFiles(u.temp.path(), "src/f=1 src/g=2 dst/f=1");
  ASSERT_TRUE(u.Shell("chown 1234 src/f src/g && chown -R 65534 dst"));
  RunResult r =
      RunTandrel({"src", "dst", "-lh=n"}, u.temp.path(), 0,
                 {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  EXPECT_EQ(r.out + r.err, LogLines("dst", {"add g"}));
  EXPECT_TRUE(u.Shell("test \"$(stat -c %u dst/f dst/g | xargs)\" = '65534 65534'"));
}

TEST(Fidelity, DirectoryTimesAreTheSourcesOnceTheirContentsAreDone) {
  // A new tree and a synchronised pair whose files are added and deleted, each directory of an
  // older time than its contents: a dry run sets nothing, a run gives each its source's time
  // without a line of its own, and a directory whose time alone differs gets it silently.
  TreePair t;
  MakeFiles(t.source, "new/sub/f=1 pair/g=2 pair/in/h=3 same/");
  MakeFiles(t.destination, "pair/old=4 pair/in/h=3 same/");
  const char* directories[] = {"new/sub", "new", "pair/in", "pair", "same"};
  for (int i = 0; i < 5; i++) SetWriteTime(t.source / directories[i], kFileTime - i * kSecond);
  const uint64_t before = WriteTime(t.destination / "same");
  const std::vector<std::string> rows{"add dst/new/sub/f", "add dst/pair/g", "delete dst/pair/old"};
  EXPECT_TRUE(t.Writes({"-dt", "-v"}, rows));
  EXPECT_EQ(WriteTime(t.destination / "same"), before);
  EXPECT_TRUE(t.Writes({"-dt"}, rows));
  for (int i = 0; i < 5; i++)
    EXPECT_EQ(WriteTime(t.destination / directories[i]), kFileTime - i * kSecond) << i;
  EXPECT_TRUE(t.Writes({"-dt"}, {}));
}

TEST(Fidelity, HardLinksShareOneInodeInTheDestination) {
  if (kWindowsBuild)
    GTEST_SKIP() << "Hard links are kept by the Linux build";
  // Three names of one inode across directories, and a file whose other name lies outside the
  // source: one copy and two links, each name with its line; the outsider copied; then silent.
  TreePair t;
  MakeFiles(t.temp.path(), "src/a=x src/sub/ out=y");
  ASSERT_TRUE(t.Shell("ln src/a src/sub/b && ln src/a src/sub/c && ln out src/solo"));
  EXPECT_TRUE(t.Writes({"-hl"}, {"add dst/a", "add dst/solo", "add dst/sub/b", "add dst/sub/c"}));
  // Names, then link counts and inode numbers: one inode of three names, the outsider alone.
  EXPECT_TRUE(
      t.Shell("cd dst && test \"$(stat -c %h%i a sub/b sub/c | uniq | wc -l)$(stat -c %h "
              "a solo | xargs)\" = '13 1' && test $(cat sub/c) = x"));
  EXPECT_TRUE(t.Writes({"-hl"}, {}));
}

TEST(Fidelity, ExtendedAttributesAndAclsAreCopiedComparedAndRefusedOnce) {
  if (kWindowsBuild || !RunHostCommand("test $(id -u) = 0 && setfattr --version >/dev/null", "."))
    GTEST_SKIP() << "Extended attributes are kept by the Linux build; trusted and security "
                    "attributes need root, and setting them setfattr";
  // An ACL (owner rw, user 1234 r, group r, mask r, others none) on f and as d's default, which
  // the copy of g inherits in the destination and must lose; a user. and a trusted. attribute;
  // a file capability where setcap is present.
  const std::string acl =
      " -v 0x0200000001000600ffffffff02000400d2040000"
      "04000400ffffffff10000400ffffffff20000000ffffffff ";
  auto same = [](const TreePair& t) {  // f, d and d/g alike on both sides, user.DOSATTRIB aside
    const std::string dump = "getfattr -h -d -m - -e hex f d d/g | grep -v DOSATTRIB | sort";
    return t.Shell("test \"$(cd src && " + dump + ")\" = \"$(cd dst && " + dump + ")\"");
  };
  const fs::path exfat = fs::path(TANDREL_TEST_VOLUMES) / "exfat";
  for (bool onExfat : {false, true}) {
    SCOPED_TRACE(onExfat);
    TreePair t;
    MakeFiles(t.source, "f=1 d/g=2");
    ASSERT_TRUE(
        t.Shell("cd src && setfattr -n user.a -v 1 f && setfattr -n trusted.t -v 2 f && "
                "setfattr -n user.b -v 3 d && setfattr -n system.posix_acl_access" +
                acl + "f && setfattr -n system.posix_acl_default" + acl + "d"));
    t.Shell("setcap cap_net_raw+ep src/f 2>/dev/null");
    if (onExfat) {
      if (!t.Shell("mountpoint -q '" + PathText(exfat) + "'"))
        continue;  // the exFAT drive needs root, a loop device and exfat-fuse
      t.destination = exfat / t.temp.path().filename();
      RemovedAtEnd removed{t.destination};
      fs::create_directory(t.destination);
      RunResult r = t.Run({"-xa"});
      EXPECT_EQ(r.out, LogLines(PathText(t.destination), {"add f", "add d/g"}));
      ExpectReports(r, {"Unable to copy extended attributes f"}, "Operation not supported\n",
                    PathText(t.destination));
      EXPECT_EQ(ReadTextFile(t.destination / "d/g"), "2");
      continue;
    }
    EXPECT_TRUE(t.Writes({"-xa"}, {"add dst/f", "add dst/d/g"}));
    EXPECT_TRUE(same(t));
    // Differences alone: compared only under the option, corrected with a meta line.
    ASSERT_TRUE(t.Shell("setfattr -n user.a -v 9 dst/f && setfattr -n user.x -v 1 dst/d/g"));
    EXPECT_TRUE(t.Writes({}, {}));
    EXPECT_TRUE(t.Writes({"-xa"}, {"meta dst/f", "meta dst/d/g"}));
    EXPECT_TRUE(same(t));
    EXPECT_TRUE(t.Writes({"-xa"}, {}));
  }
}

TEST(Fidelity, SymbolicLinksAreCopiedComparedAndDeletedAsLinks) {
  // File, directory and dangling links; a link facing a file, a directory and a link of
  // another text; a file facing a link; a destination-only link. Then a silent run.
  TreePair t;
  const fs::path &s = t.source, &d = t.destination;
  MakeFiles(s, "f=1 dir/x=2 filefacelink=3");
  MakeFiles(d, "lfacefile=4 ldfacedir/y=5");
  const std::pair<const char*, const char*> links[] = {{"dangling", "missing"},
                                                       {"ld", "dir"},
                                                       {"ldfacedir", "dir"},
                                                       {"lf", "f"},
                                                       {"lfacefile", "f"}};
  bool made = MakeLink("f", d / "filefacelink") && MakeLink("f", d / "gone") &&
              MakeLink("dir", d / "lf", true);
  for (auto [name, target] : links) made = made && MakeLink(target, s / name, *target == 'd');
  if (!made)
    GTEST_SKIP() << "No symbolic links can be made here (Wine cannot)";
  EXPECT_TRUE(t.Writes(
      {"-sl"}, {"delete dir dst/ldfacedir", "add dst/dangling", "add dst/f",
                "update dst/filefacelink", "delete dst/gone", "add dst/ld", "add dst/ldfacedir",
                "update dst/lf", "update dst/lfacefile", "add dst/dir/x"}));
  for (auto [name, target] : links) EXPECT_EQ(LinkText(d / name), target) << name;
  EXPECT_EQ(LinkText(d / "filefacelink") + ReadTextFile(d / "filefacelink"), "no link3");
  EXPECT_FALSE(fs::exists(fs::symlink_status(d / "gone")));
  EXPECT_TRUE(t.Writes({"-sl"}, {}));
}
