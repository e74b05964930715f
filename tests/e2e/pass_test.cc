// Paths that do not fit: source entries too long to list, destination paths at the limit and
// beyond it, trees deeper than the limit under long-paths, names the system would shorten.
// (Directories that cannot be listed: safety_test.cc, link loops.)
#include <fstream>

#include "tandrel_test.h"

namespace {

// A short root "r" and a tree "g" beside it, renamed before the run to a name 20 characters
// longer, and back at the end (the test's own file calls could not reach its entries there). A name
// n long fits below the short root with 5 characters to spare, and not below the long one.
struct LongPaths {
  TempDir temp;
  fs::path parent = temp.path(), shortRoot, longRoot, growing;
  size_t n;
  LongPaths() {
    for (size_t k; (k = PathText(parent).size() + 1) < kShortPathLimit - 231;)
      parent /= std::string(std::min<size_t>(kShortPathLimit - 231 - k, 200), 'c');
    fs::create_directories(shortRoot = parent / "r");
    longRoot = parent / std::string("r").append(20, 'x'), growing = parent / "g";
    n = kShortPathLimit - 7 - PathText(shortRoot).size();
  }
  ~LongPaths() {
    std::error_code error;
    fs::rename(longRoot, growing, error);
  }
};

}  // namespace

TEST(Pass, SourceEntryTooLongIsReportedAndItsDestinationKept) {
  LongPaths p;
  ASSERT_TRUE(p.n >= 30 && p.n <= 255) << p.n;
  const std::string file(p.n, 'n'), dir(p.n - 4, 'm'), fileFacingDir(p.n - 2, 'o');
  MakeFiles(p.growing, file + "=src " + dir + "/k=src " + fileFacingDir + "=src z.txt=zz zz/f=ff");
  MakeFiles(p.shortRoot,
            file + "=dst " + dir + "/k=dst " + fileFacingDir + "/k=dst z.txt=z zz/f=f");
  fs::rename(p.growing, p.longRoot);
  const std::string S = PathText(p.longRoot), D = PathText(p.shortRoot);
  // Left out of the source listing with one report each, their destination counterparts are
  // kept and reported as ignored; the walk goes on with correct paths.
  RunResult r = RunTandrel({S, D, "-lh=n", "-li", "-ld"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, LogLines(D, {"directory .", "ignore " + file, "update z.txt", "ignore " + dir,
                                "ignore " + fileFacingDir, "directory zz", "update zz/f"}));
  const std::string tooLong = "Error: path too long: " + S + kSeparator;
  EXPECT_EQ(Lines(r.err, true), Lines(Console(tooLong + dir + "\n" + tooLong + file + "\n" +
                                              tooLong + fileFacingDir + "\n"),
                                      true));
  EXPECT_EQ(Listing(p.shortRoot), dir + "/ " + dir + "/k=dst " + file + "=dst " + fileFacingDir +
                                      "/ " + fileFacingDir + "/k=dst z.txt=zz zz/ zz/f=ff");
}

// Both sides' listings report; a worker's reports come after the walking thread's, as one thread
// writes them, and count as reports.
TEST(Pass, ReportsOfBothSidesComeInTheOrderOfOneThread) {
  LongPaths p;
  const std::string name(p.n, 'n');
  const fs::path d = p.parent / std::string("d").append(20, 'x'),
                 e = p.parent / std::string("e").append(20, 'x');
  MakeFiles(p.growing, name + "=d");
  fs::rename(p.growing, d);
  MakeFiles(p.growing, name + "=s");
  fs::rename(p.growing, p.longRoot);
  fs::create_directory(e);
  auto tooLong = [&](const fs::path& root) {
    return "Error: path too long: " + PathText(root) + kSeparator + name + "\n";
  };
  RunResult both = RunTandrel({PathText(p.longRoot), PathText(d), "-lh=n", "-j=2"});
  RunResult one = RunTandrel({PathText(e), PathText(d), "-lh=n", "-j=2"});
  fs::rename(d, p.parent / "d");
  EXPECT_EQ(std::tie(both.exitCode, both.err),
            std::make_tuple(1, Console(tooLong(p.longRoot) + tooLong(d))));
  EXPECT_EQ(std::tie(one.exitCode, one.err), std::make_tuple(1, Console(tooLong(d))));
}

// Copies on workers: both streams on one terminal, each failed copy's report comes right after
// its "add" line, as one thread writes them, and the updates and adds around it are done.
TEST(Pass, CopiesOnWorkersKeepTheOrderOfOneThread) {
  if (kWindowsBuild)
    GTEST_SKIP() << "Needs a dangling link in the source, which the POSIX build copies as a file";
  TreePair t;
  std::string files, old, links;
  for (int i = 0; i < 40; i++) {
    std::string name = (i < 20 ? "" : "z/") + std::to_string(100 + i);
    (i % 4 == 1 ? links : files) += " " + name + (i % 4 == 1 ? "" : "=new");
    old += i % 4 == 3 ? " " + name + "=older" : "";
  }
  MakeFiles(t.source, files);
  MakeFiles(t.destination, old);
  ASSERT_TRUE(t.Shell("cd src && for f in" + links + "; do ln -s gone $f; done"));
  std::string merged[2];
  for (int k = 0; k < 2; k++) {
    fs::remove_all(t.destination);
    MakeFiles(t.destination, old);
    RunResult r = RunTandrel({"src", "dst", "-lh=n", k ? "-j=4" : "-j=1"}, t.temp.path(), 80);
    merged[k] = std::to_string(r.exitCode) + r.out;
  }
  EXPECT_EQ(merged[1], merged[0]);
  EXPECT_EQ(merged[0].rfind("1", 0), 0u);
  EXPECT_EQ(Listing(t.destination).find("=older"), std::string::npos);
}

// Contents compared ahead by workers: each pair's "comparing" line and result in walk order,
// whatever the number of threads; pairs of one size and time whose last bytes differ updated,
// pairs of two sizes updated without being read.
TEST(Pass, ContentsComparedAheadKeepTheOrderOfOneThread) {
  for (const char* threads : {"-j=4", "-j=1"}) {
    TreePair t;
    std::vector<std::string> rows;
    for (int i = 0; i < 30; i++) {
      std::string name = std::to_string(100 + i), contents(5000 + i, 'c');
      MakeFile(t.source / name, contents);
      contents.back() ^= i % 3 == 0;
      MakeFile(t.destination / name, contents + (i % 5 == 4 ? "longer" : ""));
      if (i % 5 != 4)
        rows.push_back("comparing dst/" + name);
      rows.push_back((i % 3 && i % 5 != 4 ? "equal dst/" : "update dst/") + name);
    }
    EXPECT_TRUE(t.Writes({"-cc", "-le", threads}, rows)) << threads;
  }
}

TEST(Pass, DestinationPathsUpToTheLimitAreWrittenLongerOnesReported) {
  LongPaths p;
  // Below the long root: a name 14 shorter than n is one too long; one 15 shorter fits exactly,
  // and the temporary file of its copy never needs a longer path.
  const std::string file(p.n - 14, 'n'), dir(p.n - 4, 'm'), added(p.n - 15, 'a'),
      updated(p.n - 15, 'u');
  MakeFiles(p.shortRoot, file + "=new " + dir + "/k=new " + added + "=new " + updated +
                             "=newer z.txt=z zz/f=ff");
  MakeFiles(p.growing, updated + "=old zz/f=f");
  fs::rename(p.growing, p.longRoot);
  const std::string S = PathText(p.shortRoot), D = PathText(p.longRoot);
  ASSERT_EQ(Under(D, added).size(), kShortPathLimit - 1u);
  RunResult r = RunTandrel({S, D, "-lh=n", "-ld"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, LogLines(D, {"directory .", "add " + added, "update " + updated, "add z.txt",
                                "directory zz", "update zz/f"}));
  // The new file's log line and its copy both fail to join the path; the new directory
  // cannot be made.
  const std::string tooLong = "Error: path too long: " + D + kSeparator;
  EXPECT_EQ(r.err, Console(tooLong + file + "\n" + tooLong + file + "\n" + tooLong + dir + "\n"));
  EXPECT_EQ(Listing(p.longRoot), added + "=new " + updated + "=newer z.txt=z zz/ zz/f=ff");
}

TEST(Pass, RootsOfAlmostTheLimitAreUsedWhateverTheirFinalPathsLength) {
  // Roots of kShortPathLimit - 5 characters: a name of 3 fills the longest path. The final path of
  // a root (Windows: "\\?\" and the full path) is longer than the root as typed.
  LongPaths p;
  const size_t name = kShortPathLimit - 5 - PathText(p.parent).size() - 1;
  const fs::path s = p.parent / std::string(name, 's'), d = p.parent / std::string(name, 'd');
  MakeFiles(s, "abc=newer");
  MakeFiles(d, "abc=old zz=z");
  const std::string S = PathText(s), D = PathText(d);
  ASSERT_EQ(Under(D, "abc").size(), kShortPathLimit - 1u);
  RunResult r = RunTandrel({S, D, "-lh=n"});
  EXPECT_EQ(r.out + r.err, LogLines(D, {"update abc", "delete zz"}));
  EXPECT_EQ(Listing(d), "abc=newer");
  // The longest root that can be listed (the listing joins "*" to it), empty: nothing to do.
  const fs::path longest = p.parent / std::string(name + 2, 'e');
  fs::create_directories(longest);
  r = RunTandrel({PathText(longest), PathText(p.shortRoot), "-lh=n"});
  EXPECT_EQ(std::to_string(r.exitCode) + r.out + r.err, "0");
}

// A path as Windows takes it verbatim, neither shortened nor limited (the "\\?\" form).
static fs::path Verbatim(const fs::path& path) {
  return kWindowsBuild ? fs::path(L"\\\\?\\" + fs::absolute(path).wstring()) : path;
}

// Writes text to the file "f" at the bottom of a chain of directories below root, each named
// name, or reads it back; true when it holds text. The calls never take the whole path, which is
// longer than the usual limit (native: a shell's walk one name at a time; Windows: the verbatim
// form).
static bool DeepFile(const fs::path& root, int depth, const std::string& name,
                     const std::string& text, bool write) {
#ifdef _WIN32
  fs::path path = Verbatim(root);
  for (int i = 0; i < depth; i++) path /= name;
  if (write) {
    fs::create_directories(path);
    std::ofstream(path / "f", std::ios::binary) << text;
  }
  return ReadTextFile(path / "f") == text;
#else
  const std::string step = (write ? "mkdir -p " + name + " && " : "") + "cd -P " + name;
  return RunHostCommand(
      "for i in $(seq " + std::to_string(depth) + "); do " + step + " || exit 1; done && " +
          (write ? "printf %s '" + text + "' >f && " : "") + "test \"$(cat f)\" = '" + text + "'",
      root);
#endif
}

TEST(Pass, LongPathsMirrorAndResynchroniseATreeDeeperThanTheLimit) {
  // 13,000 bytes natively (beyond the formatting buffer too), 1,000 characters on Windows: far
  // beyond the usual limit.
  TreePair t;
  const int depth = kWindowsBuild ? 10 : 130;
  const std::string name(99, 'd');
  ASSERT_TRUE(DeepFile(t.source, depth, name, "first", true));
  std::string deep;
  for (int i = 0; i < depth; i++) deep += name + "/";
  ASSERT_GT(Under(PathText(t.destination), deep + "f").size(), kWindowsBuild ? 1000u : 13000u);
  EXPECT_TRUE(t.Writes({"-lp"}, {"add dst/" + deep + "f"}));
  EXPECT_TRUE(DeepFile(t.destination, depth, name, "first", false));
  ASSERT_TRUE(DeepFile(t.source, depth, name, "second!", true));
  EXPECT_TRUE(t.Writes({"-lp"}, {"update dst/" + deep + "f"}));
  EXPECT_TRUE(t.Writes({"-lp"}, {}));
  EXPECT_TRUE(DeepFile(t.destination, depth, name, "second!", false));
  // Roots as deep as that: equal (not under Wine, whose final path of a handle holds at most
  // MAX_PATH characters).
  const fs::path inner = fs::path(deep.substr(0, deep.size() - 1)).make_preferred();
  RunResult r = RunTandrel({PathText(t.source / inner), PathText(t.destination / inner), "-lp"});
  EXPECT_TRUE(RunningUnderWine() || (r.exitCode == 0 && r.err.empty())) << r.exitCode << r.err;
  // The test's own removal takes whole paths natively: rm walks the tree by its descriptors.
  EXPECT_TRUE(kWindowsBuild || t.Shell("rm -rf ./*"));
}

TEST(Pass, NamesEndingInADotOrASpaceAreThemselves) {
  // Windows drops a trailing dot or space from a name it is given whole; the run never lets it.
  TreePair t;
  const fs::path s = Verbatim(t.source), d = Verbatim(t.destination);
  MakeFiles(s, "report=r data.=d");
  MakeFiles(d, "report=r report.=x");
  MakeFile(d / "notes ", "n");
  RunResult r = t.Run({});
  EXPECT_EQ(r.out + r.err + std::to_string(r.exitCode),
            t.Log({"add dst/data."}) + LogLine("delete", Under(t.temp.str(), "dst/notes ")) +
                t.Log({"delete dst/report."}) + "0");
  EXPECT_EQ(ReadTextFile(d / "data.") + ReadTextFile(d / "report"), "dr");
  EXPECT_FALSE(fs::exists(d / "report.") || fs::exists(d / "notes "));
  EXPECT_TRUE(t.Writes({}, {}));
  fs::remove(s / "data.");  // the removal at the end takes names as Windows shortens them
  fs::remove(d / "data.");
}

// A drive-relative root is its drive's current directory in the overlap check and the walk
// alike: a drive Q: mapped to the test's directory (a wrong walk stays inside it), the program
// run from its backups directory.
TEST(Pass, ADriveRelativeRootIsTheDrivesCurrentDirectory) {
  TempDir temp;
  MakeFiles(temp.path(), "src/a=1 src/d/b=2 backups/old=3");
  const std::string link = "\"$WINEPREFIX/dosdevices/q:\"";
  if (!RunningUnderWine() || !RunHostCommand("ln -s \"$(pwd -P)\" " + link, temp.path()))
    GTEST_SKIP() << "Drive Q: is mapped only under Wine (a link in its dosdevices), when free";
  RunResult r = RunTandrel({"Q:\\src", "Q:", "-lh=n"}, "Q:\\backups");
  EXPECT_TRUE(RunHostCommand("rm " + link, temp.path()));
  EXPECT_EQ(r.out + r.err + std::to_string(r.exitCode),
            LogLines("Q:", {"add a", "delete old", "add d/b"}) + "0");
  EXPECT_EQ(Listing(temp.path()),
            "backups/ backups/a=1 backups/d/ backups/d/b=2 src/ src/a=1 src/d/ src/d/b=2");
}

// The 32-bit program on 64-bit Windows mirrors System32 as itself, not as SysWOW64.
TEST(Pass, TheSystemDirectoryIsItselfForThe32BitProgram) {
  const fs::path native = "C:\\windows\\sysnative\\kernel32.dll";
  std::error_code error;
  if (!kWindowsBuild || !fs::exists(native, error))
    GTEST_SKIP() << "Needs the 32-bit program on 64-bit Windows";
  TempDir temp;
  RunResult r =
      RunTandrel({"C:\\windows\\system32", temp.str(), "-lh=n", "-nr", "-i=*\\kernel32.dll"});
  EXPECT_EQ(r.out + r.err, LogLines(temp.str(), {"add kernel32.dll"}));
  EXPECT_TRUE(ReadTextFile(temp.path() / "kernel32.dll") == ReadTextFile(native) &&
              ReadTextFile(native) != ReadTextFile("C:\\windows\\syswow64\\kernel32.dll"));
}
