// The actions of a run: add, update, delete, equal, ignore and meta on files and trees, in the
// order of the walk; the options that leave entries alone or change the log; the metadata
// correction; on Linux sparse copies, FIFOs and the modes of copies and new directories. (The
// comparison itself: compare_test.cc.)
#include "tandrel_test.h"
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

constexpr uint32_t kHidden = kAttributeHidden, kReadOnly = kAttributeReadOnly;

TEST(FileActions, EveryKindOfDifferenceInWalkOrderAndItsDryRun) {
  TreePair t;
  const fs::path &s = t.source, &d = t.destination;
  // Equal: same size and time (contents unread: eq0), or times less than 6 whole seconds apart
  // (eq5); an equal pair whose attributes differ (meta). A source directory facing a
  // destination file (x) and the reverse (y). Read-only and hidden destination entries are
  // updated and deleted all the same. Two destination names of a read-only source file (hard
  // links, as snapshots make): deleting one and replacing the other leave it as it was.
  MakeFiles(s, "eq0=same eq5=five size=longer t6=new6 x/in=in y=y meta=m n/s/n2=n2 new=new hu=u");
  MakeFiles(s, "alpha/a=a alpha/inner/b=b Beta/ gamma/z=z");
  MakeFiles(d, "eq0=SAME size=short old=old x=x y/old=old meta=m D/x=x D/S/y=y");
  MakeFiles(d, "alpha/inner/ Beta/ gamma/");
  MakeFile(d / "eq5", "five", kFileTime + 6 * kSecond - 1);
  MakeFile(d / "t6", "old6", kFileTime - 6 * kSecond, kReadOnly);
  MakeFile(d / "gone", "gone", kFileTime, kReadOnly | kHidden);
  SetAttributes(s / "meta", kReadOnly);
  SetAttributes(d / "D/x", kReadOnly | kHidden);
  SetAttributes(d / "D/S", kHidden);
  MakeFile(s / "hl", "hl", kFileTime, kReadOnly);
  for (const char* name : {"hl1", "hu"}) fs::create_hard_link(s / "hl", d / name);
  const std::string before = Listing(s, true) + " | " + Listing(d, true);
  // Arguments printed as typed; one with a trailing separator is joined to a name by one
  // separator. Walk 1 deletes destination-only directories (a "directory" line per level),
  // walk 2 handles the files, walk 3 enters directory pairs and copies new trees, depth first,
  // in name order without regard to letter case. The dry run writes the same and changes nothing.
  const std::string dst = std::string("dst") + kSeparator;
  RunResult dry = RunTandrel({"src", dst, "-ld", "-le", "-v"}, t.temp.path());
  EXPECT_EQ(Listing(s, true) + " | " + Listing(d, true), before);
  RunResult r = RunTandrel({"src", dst, "-ld", "-le"}, t.temp.path());
  EXPECT_EQ(dry.out + dry.err + std::to_string(dry.exitCode), r.out + r.err + "0");
  // clang-format off
  EXPECT_EQ(r.out, Header("src", dst) + LogLine("directory", dst) + LogLines("dst", {
      "delete dir D", "directory D", "directory D/S", "delete dir y", "directory y", "equal eq0",
      "equal eq5", "delete gone", "add hl", "delete hl1", "update hu", "equal meta", "meta meta",
      "add new", "delete old", "update size", "update t6", "delete x", "add y", "directory alpha",
      "add alpha/a", "directory alpha/inner", "add alpha/inner/b", "directory Beta",
      "directory gamma", "add gamma/z", "directory n", "directory n/s", "add n/s/n2", "directory x",
      "add x/in"}));
  // clang-format on
  // Equal pairs keep the destination's contents and time; everything else is an exact copy (hl
  // was copied before its other names went: had they changed it, the two would differ).
  MakeFile(s / "eq0", "SAME");
  MakeFile(s / "eq5", "five", kFileTime + 6 * kSecond - 1);
  EXPECT_EQ(Listing(d, true), Listing(s, true));
}

TEST(FileActions, OptionsThatLeaveEntriesAloneOrChangeTheLog) {
  const std::string copied = "N/ N/.git/ N/f.txt=f N/n.log=n a.txt=new u.txt=src";
  // clang-format off
  const std::vector<std::string> alone = {"delete dir dst/E", "delete dir dst/O", "add dst/a.txt",
      "delete dst/o.txt", "add dst/N/f.txt", "add dst/N/n.log"};
  // Ignored entries are logged under -li only, source-only ones by their source paths. A
  // destination directory holding an entry the filter leaves out stays with its parents, no
  // failure reported. New and deleted trees are listed as the pair walk lists: an excluded
  // directory is neither created nor deleted.
  struct {
    std::vector<std::string> options, rows;
    std::string after;
  } cases[] = {
      {{"-na", "-li"}, {"delete dir dst/E", "delete dir dst/O", "update dst/u.txt",
        "ignore src/a.txt", "delete dst/o.txt", "ignore src/N"}, "u.txt=src"},
      {{"-nu", "-li"}, {"delete dir dst/E", "delete dir dst/O", "ignore dst/u.txt", "add dst/a.txt",
        "delete dst/o.txt", "add dst/N/f.txt", "add dst/N/n.log"},
       "N/ N/.git/ N/f.txt=f N/n.log=n a.txt=new u.txt=dest"},
      {{"-nd", "-li"}, {"ignore dir dst/E", "ignore dir dst/O", "update dst/u.txt", "add dst/a.txt",
        "ignore dst/o.txt", "add dst/N/f.txt", "add dst/N/n.log"}, "E/ E/b.log=b N/ N/.git/ "
       "N/f.txt=f N/n.log=n O/ O/S/ O/S/k.txt=k O/T/ O/T/.git/ O/T/e.log=e O/g.txt=g a.txt=new "
       "o.txt=old u.txt=src"},
      {{"-lc=n"}, {}, copied},
      // Bare paths, the tree actions' "directory" lines too.
      {{"-ll", "-ld"}, {"dst", "dst/E", "dst/E", "dst/O", "dst/O", "dst/O/S", "dst/O/T",
        "dst/O/T/.git", "dst/u.txt", "dst/a.txt", "dst/o.txt", "dst/N", "dst/N/f.txt",
        "dst/N/n.log", "dst/N/.git"}, copied},
      {{"-x=*k.txt", std::string("-x=*") + kSeparator + ".git"}, {"delete dir dst/E",
        "delete dir dst/O", "update dst/u.txt", "add dst/a.txt", "delete dst/o.txt",
        "add dst/N/f.txt", "add dst/N/n.log"},
       "N/ N/f.txt=f N/n.log=n O/ O/S/ O/S/k.txt=k O/T/ O/T/.git/ a.txt=new u.txt=src"},
      // Include mode leaves out the other files on both sides, in new trees too.
      {{"-i=*.txt"}, {"delete dir dst/E", "delete dir dst/O", "update dst/u.txt", "add dst/a.txt",
        "delete dst/o.txt", "add dst/N/f.txt"},
       "E/ E/b.log=b N/ N/.git/ N/f.txt=f O/ O/T/ O/T/e.log=e a.txt=new u.txt=src"},
      // A pattern naming one root's u.txt by its full path matches on that side only: the pair
      // is left alone.
      {{"-x=src"}, alone, "N/ N/.git/ N/f.txt=f N/n.log=n a.txt=new u.txt=dest"},
      {{"-x=dst"}, alone, "N/ N/.git/ N/f.txt=f N/n.log=n a.txt=new u.txt=dest"},
  };  // clang-format on
  for (auto c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    TreePair t;
    if (c.options[0].size() == 6)  // -x=src or -x=dst
      c.options[0] = "-x=" + PathText(t.temp.path() / c.options[0].substr(3) / "u.txt");
    MakeFiles(t.source, "u.txt=src a.txt=new N/f.txt=f N/n.log=n N/.git/");
    MakeFiles(t.destination,
              "u.txt=dest o.txt=old O/g.txt=g O/S/k.txt=k O/T/e.log=e O/T/.git/ E/b.log=b");
    RunResult r = t.Run(c.options);
    EXPECT_EQ(Lines(r.out, true), Lines(t.Log(c.rows), true));
    ExpectReports(r, {}, "");
    EXPECT_EQ(Listing(t.destination), c.after);
  }
}

TEST(FileActions, MetadataOfEqualPairsIsCorrected) {
  // Equal pairs (-ct=n) whose attributes or times differ; times within the precision (u) agree.
  // Each: name, source attributes, destination attributes, destination time less the source's.
  // clang-format off
  const std::tuple<const char*, uint32_t, uint32_t, int> pairs[] = {{"both", kHidden | kReadOnly, 0, 100},
      {"h", kHidden, 0, 0}, {"n", 0, kHidden, 0}, {"r", kReadOnly, 0, 0}, {"t", 0, 0, -100},
      {"u", 0, 0, 5}};
  // clang-format on
  TreePair t;
  const uint64_t at = kFileTime + 1234567;  // a fraction of a second, set to the 100 ns
  for (const auto& [name, source, destination, seconds] : pairs) {
    MakeFile(t.source / name, name, at, source);
    MakeFile(t.destination / name, name, at + seconds * kSecond, destination);
  }
  if (!(Attributes(t.source / "h") & kHidden))
    GTEST_SKIP() << "the file system keeps no hidden attribute (no extended attributes)";
  const std::string before = Listing(t.destination, true);
  // Without -tm attributes alone; a dry run changes nothing.
  EXPECT_TRUE(
      t.Writes({"-ct=n", "-v"}, {"meta dst/both", "meta dst/h", "meta dst/n", "meta dst/r"}));
  EXPECT_TRUE(t.Writes({"-ct=n", "-tm", "-nm"}, {}));
  EXPECT_EQ(Listing(t.destination, true), before);
  // One "meta" line for a pair whose attributes and time both differ.
  EXPECT_TRUE(t.Writes({"-ct=n", "-tm"},
                       {"meta dst/both", "meta dst/h", "meta dst/n", "meta dst/r", "meta dst/t"}));
  MakeFile(t.source / "u", "u", at + 5 * kSecond);
  EXPECT_EQ(Listing(t.destination, true), Listing(t.source, true));
  EXPECT_TRUE(Attributes(t.destination / "h") & kAttributeArchive);  // the destination's own
}

TEST(FileActions, LinuxModesStoredAttributesSparseFilesAndFifos) {
#ifdef _WIN32
  GTEST_SKIP() << "Permission bits, user.DOSATTRIB and sparse files are the Linux build's";
#else
  // Equal pairs whose destinations have the default modes. A set-ID bit goes only with the
  // owner: run as root, s faces a file of another user, gets the source's owner and 04755.
  const bool asRoot = getuid() == 0;
  const std::pair<const char*, mode_t> modes[] = {
      {"f600", 0600}, {"f640", 0640}, {"s", 04755}, {"d2755", 02755}, {"d700", 0700}};
  const fs::path exfat = fs::path(TANDREL_TEST_VOLUMES) / "exfat";
  const bool mounted = RunHostCommand("mountpoint -q '" + PathText(exfat) + "'", ".");
  struct stat st;
  for (bool onExfat : {false, mounted}) {  // the exFAT drive needs root and exfat-fuse
    SCOPED_TRACE(onExfat);
    TreePair t;
    if (onExfat)
      t.destination = exfat / t.temp.path().filename();
    RemovedAtEnd removed{t.destination};
    std::vector<std::string> rows;
    for (const auto& [name, mode] : modes) {
      for (const fs::path& root : {t.source, t.destination})
        MakeFiles(root, name + std::string(*name == 'd' ? "/" : "=x"));
      EXPECT_EQ(chmod((t.source / name).c_str(), mode), 0);
      EXPECT_TRUE(*name != 's' || !asRoot || onExfat ||
                  chown((t.destination / name).c_str(), 1, 1) == 0);
      rows.push_back(std::string("meta dst/") + name);
    }
    // A name beginning with "." is hidden whatever its user.DOSATTRIB says: nothing to correct.
    for (const fs::path& root : {t.source, t.destination}) MakeFiles(root, ".h=x");
    EXPECT_EQ(setxattr((t.source / ".h").c_str(), "user.DOSATTRIB", "0x2", 3, 0), 0);
    EXPECT_TRUE(t.Writes({}, onExfat ? std::vector<std::string>() : rows));
    EXPECT_TRUE(t.Writes({}, {}));
    MakeFiles(t.source, "..x=x");  // two dots begin an ordinary name
    EXPECT_EQ(t.Run({}).out, LogLine("add", Under(PathText(t.destination), "..x")));
    // Corrected, then copied anew: both have the source's owner, so s keeps its set-ID bit.
    for (int round = 0; round < 2; round++) {
      for (const auto& [name, mode] : modes) {
        if (!onExfat && stat((t.destination / name).c_str(), &st) == 0) {
          EXPECT_EQ(st.st_mode & 07777, mode) << name;
        }
        fs::remove_all(t.destination / name);
      }
      t.Run({});
    }
  }
  // Unset-archive changes only the archive bit of the stored attribute: in Samba's value (the
  // text, then a binary block), beside other bits of the number; a value that is no number is
  // reported and left as it was.
  const std::string block("\0\0\0\5\0\5\0\0\0\21\0\0\0 \0\0\0\372\216\277", 19);
  // clang-format off
  const std::pair<std::string, std::string> values[] = {
      {std::string("0x20").append(block), std::string("0x0").append(block)}, {"0x2022", "0x2002"},
      {"0x120", "0x100"}, {"0x820", "0x800"}, {"0X4020", "0X4000"}, {"junk", "junk"}};
  // clang-format on
  TreePair a;
  for (size_t i = 0; i < std::size(values); i++) {
    const fs::path file = a.source / std::to_string(i);
    MakeFile(file, "v");
    if (setxattr(file.c_str(), "user.DOSATTRIB", values[i].first.data(), values[i].first.size(),
                 0) != 0)
      GTEST_SKIP() << "This file system keeps no user extended attributes";
  }
  ExpectReports(a.Run({"-ua"}), {"Unable to set attributes " + Under(a.temp.str(), "src/5")},
                "user.DOSATTRIB holds no attribute number; it was left as it is.\n");
  for (size_t i = 0; i < std::size(values); i++) {
    char value[64];
    ssize_t n =
        getxattr((a.source / std::to_string(i)).c_str(), "user.DOSATTRIB", value, sizeof value);
    EXPECT_EQ(std::string(value, n > 0 ? n : 0), values[i].second);
  }
  // Sparse copies, FIFOs, the modes of copies and of new directories.
  TreePair t;
  const fs::path s = t.source / "vm.img", d = t.destination / "vm.img";
  const off_t size = off_t{2} << 30, middle = size / 2;
  // 2 GiB holding a byte of data at its start, in its middle and at its end (and at extra when
  // given), of one time.
  auto make = [&](const fs::path& path, char mark, off_t extra = 0) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    const struct timespec times[2] = {{1600000000, 0}, {1600000000, 0}};
    EXPECT_EQ(pwrite(fd, "s", 1, 0) + pwrite(fd, &mark, 1, middle) + pwrite(fd, "e", 1, size - 1) +
                  pwrite(fd, "x", extra != 0, extra),
              3 + (extra != 0));
    EXPECT_EQ(futimens(fd, times), 0);
    close(fd);
  };
  // The size, the blocks and the middle byte.
  auto layout = [&](const fs::path& path) {
    int fd = open(path.c_str(), O_RDONLY);
    char mark = 0;
    EXPECT_EQ(pread(fd, &mark, 1, middle) + fstat(fd, &st), 1);
    close(fd);
    return std::to_string(st.st_size) + " " + std::to_string(st.st_blocks) + mark;
  };
  make(s, 'a');
  if (stat(s.c_str(), &st) != 0 || st.st_blocks * 512 >= size || !asRoot)
    GTEST_SKIP() << "This file system keeps no holes, or the runner cannot give files away";
  // FIFOs beside it, on either side, are never opened, copied or deleted; a new directory takes
  // its source's permission bits and the owner's write bit. Run as root, r and u keep their
  // other user as owner, and with it their set-ID bits.
  ASSERT_TRUE(
      t.Shell("mkfifo src/a dst/b && mkdir -m 555 src/r && echo u >src/u && chown "
              "65534:65534 src/r src/u && chmod 2555 src/r && chmod 4755 src/u && "
              "chmod 4644 src/vm.img"));
  EXPECT_TRUE(t.Writes({}, {"add dst/u", "add dst/vm.img"}));
  EXPECT_TRUE(t.Shell("test \"$(stat -c %a dst/r dst/u dst/vm.img | xargs)\" = '2755 4755 4644'"));
  EXPECT_EQ(layout(d), layout(s));
  EXPECT_TRUE(t.Writes({"-cc", "-lcc=n"}, {}));
  make(d, 'b');  // one byte differs in the middle block, same size and time
  EXPECT_TRUE(t.Writes({"-cc", "-lcc=n"}, {"update dst/vm.img"}));
  EXPECT_EQ(layout(d), layout(s));
  make(d, 'a', size / 4);  // data facing a hole of the source is compared too
  EXPECT_TRUE(t.Writes({"-cc", "-lcc=n"}, {"update dst/vm.img"}));
#endif
}
