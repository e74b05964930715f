// End-to-end tests of the directory pass: the header, the order of the descent, directory
// pairs that cannot be listed, and paths that do not fit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tandrel_test.h"

TEST(Pass, HeaderNamesBothDirectoriesAsGiven) {
  TreePair t;
  const std::string S = TempDir::PathText(t.source), D = TempDir::PathText(t.destination);
  RunResult r = RunTandrel({S, D});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, Console("\nTandreling directory: " + S + "\nto directory: " + D + "\n"));
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(t.Writes({}, {}));  // -lh=n

  // Relative arguments, one with a trailing separator: shown as typed, and joined with a name
  // by a single separator.
  MakeFiles(t.source, "a.txt=a");
  const std::string dst = std::string("dst") + kSeparator;
  r = RunTandrel({"src", dst, "-ld"}, t.temp.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            Header("src", dst) + LogLine("directory", dst) + LogLine("add", Under("dst", "a.txt")));
  EXPECT_EQ(Listing(t.destination), "a.txt=a");
}

TEST(Pass, DirectoryLinesFollowTheDepthFirstDescentInNameOrder) {
  TreePair t;
  MakeFiles(t.source, "m.txt=m a.txt=a alpha/x.txt=x alpha/inner/y.txt=y Beta/ gamma/z.txt=z");
  MakeFiles(t.source, "new/n.txt=n");
  MakeFiles(t.destination, "alpha/inner/ Beta/ gamma/");
  // Each pair's files before its first sub-directory; sub-directories in name order without
  // regard to letter case.
  EXPECT_TRUE(
      t.Writes({"-ld"}, {"directory dst", "add dst/a.txt", "add dst/m.txt", "directory dst/alpha",
                         "add dst/alpha/x.txt", "directory dst/alpha/inner",
                         "add dst/alpha/inner/y.txt", "directory dst/Beta", "directory dst/gamma",
                         "add dst/gamma/z.txt", "directory dst/new", "add dst/new/n.txt"}));
  EXPECT_EQ(Listing(t.destination), Listing(t.source));
}

#ifdef _WIN32
namespace {
// A directory whose name ends in a dot is listed in its parent, but Win32 paths through it
// lose the dot and name the directory without it. Made, with an optional empty file in it,
// and removed through paths that keep the dot.
struct DottedDirectory {
  fs::path directory;
  std::string file;
  static std::wstring Verbatim(const fs::path& path) { return L"\\\\?\\" + path.wstring(); }
  DottedDirectory(const fs::path& path, const std::string& name = "")
      : directory(path), file(name) {
    EXPECT_TRUE(CreateDirectoryW(Verbatim(directory).c_str(), nullptr)) << directory;
    if (!file.empty()) {
      CloseHandle(CreateFileW(Verbatim(directory / file).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
  }
  bool FileExists() const {
    return GetFileAttributesW(Verbatim(directory / file).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  ~DottedDirectory() {
    if (!file.empty())
      DeleteFileW(Verbatim(directory / file).c_str());
    RemoveDirectoryW(Verbatim(directory).c_str());
  }
};
}  // namespace
#endif

TEST(Pass, DirectoriesThatCannotBeListedAreReportedAndTheRunGoesOn) {
  TreePair t;
  const fs::path &s = t.source, &d = t.destination;
  MakeFiles(s, "a/in.txt=in zz/f.txt=source");
  MakeFile(d / "zz/f.txt", "dest", kFileTime - 60 * kSecond);
  // In pair a only the destination directory cannot be listed; in pair b only the source one,
  // and the destination's file in it stays.
#ifdef _WIN32
  // "a." leads to "a", which only the source has (-na keeps it from being copied); "b." to
  // "b", which neither side has.
  const std::string a = "a.", b = "b.";
  DottedDirectory sa(s / a), da(d / a), sb(s / b), db(d / b, "keep.txt");
  std::vector<std::string> rows{"directory dst", "ignore src/a"};
#else
  // Links to the destination-only "gone", which walk 1 deletes before walk 3 reaches them.
  const std::string a = "a", b = "b";
  MakeFiles(d, "gone/g.txt=g b/keep.txt=keep");
  fs::create_directory_symlink("gone", d / a);
  fs::create_directory_symlink(d / "gone", s / b);
  std::vector<std::string> rows{"directory dst", "delete dir dst/gone", "directory dst/gone"};
#endif
  RunResult r = t.Run({"-ld", "-na", "-li"});
  EXPECT_EQ(r.exitCode, 0);
  rows.insert(rows.end(), {"directory dst/" + a, "directory dst/" + b, "directory dst/zz",
                           "update dst/zz/f.txt"});
  EXPECT_EQ(r.out, t.Log(rows));
  ExpectReports(r.err,
                {"Unable to browse directory " + Under(TempDir::PathText(d), a),
                 "Unable to browse directory " + Under(TempDir::PathText(s), b)},
                "No such file or directory\n");
  EXPECT_EQ(ReadTextFile(d / "zz/f.txt"), "source");
#ifdef _WIN32
  EXPECT_TRUE(db.FileExists());
#else
  EXPECT_EQ(Listing(d), "a= b/ b/keep.txt=keep zz/ zz/f.txt=source");
#endif
}

namespace {

// A short root and, beside it, a root 20 characters longer, whose full paths reach the limit
// (MAX_PATH less the terminator): a name NameLength() long fits below the short root with 5
// characters to spare and not below the long one. The long root's tree is built under a short
// name and renamed by Lengthen(), as the test's own file calls could not reach it.
class LongPaths {
 public:
  LongPaths() {
    fs::path parent = temp_.path();
    const size_t wanted = MAX_PATH - 1 - 230;
    for (size_t n; (n = TempDir::PathText(parent).size() + 1) < wanted;)
      parent /= std::string(std::min<size_t>(wanted - n, 200), 'c');
    fs::create_directories(parent / "r");
    shortRoot = parent / "r";
    longRoot = parent / std::string("r").append(20, 'x');
    growing = parent / "g";
    nameLength = MAX_PATH - 1 - 5 - TempDir::PathText(shortRoot).size() - 1;
  }
  void Lengthen() { fs::rename(growing, longRoot), lengthened_ = true; }
  ~LongPaths() {
    std::error_code error;
    if (lengthened_)
      fs::rename(longRoot, growing, error);
  }
  fs::path shortRoot, longRoot, growing;
  size_t nameLength;

 private:
  TempDir temp_;
  bool lengthened_ = false;
};

}  // namespace

TEST(Pass, SourceEntryTooLongIsReportedAndItsDestinationKept) {
  LongPaths paths;
  ASSERT_GE(paths.nameLength, 30u);
  ASSERT_LE(paths.nameLength, 255u);
  const fs::path &d = paths.shortRoot, &s = paths.growing;
  const std::string file(paths.nameLength, 'n'), dir(paths.nameLength - 4, 'm'),
      fileFacingDir(paths.nameLength - 2, 'o');
  MakeFile(s / file, "source");
  MakeFile(d / file, "destination");
  MakeFile(s / dir / "k", "source");
  MakeFile(d / dir / "k", "kept");
  MakeFile(s / fileFacingDir, "source");
  MakeFile(d / fileFacingDir / "k", "kept");
  MakeFiles(s, "z.txt=zz zz/f.txt=ff");
  MakeFiles(d, "z.txt=z zz/f.txt=f");
  paths.Lengthen();
  const std::string S = TempDir::PathText(paths.longRoot), D = TempDir::PathText(d);

  // Left out of the source listing with one report each, their destination counterparts are
  // kept and reported as ignored; the walk goes on with correct paths.
  RunResult r = RunTandrel({S, D, "-lh=n", "-li", "-ld"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, LogLines(D, {"directory .", "ignore " + file, "update z.txt", "ignore " + dir,
                                "ignore " + fileFacingDir, "directory zz", "update zz/f.txt"}));
  std::string err;
  for (const auto& name : {dir, file, fileFacingDir})
    err += Console("Error: path too long: " + Under(S, name) + "\n");
  EXPECT_EQ(SortedLines(r.err), SortedLines(err));
  EXPECT_EQ(Listing(d), dir + "/ " + dir + "/k=kept " + file + "=destination " + fileFacingDir +
                            "/ " + fileFacingDir + "/k=kept z.txt=zz zz/ zz/f.txt=ff");
}

TEST(Pass, DestinationPathTooLongIsReportedAndTheWalkGoesOn) {
  LongPaths paths;
  const fs::path &s = paths.shortRoot, &d = paths.growing;
  const std::string file(paths.nameLength, 'n'), dir(paths.nameLength - 4, 'm');
  MakeFile(s / file, "new file");
  MakeFile(s / dir / "k", "new directory");
  MakeFiles(s, "z.txt=z zz/f.txt=ff");
  MakeFiles(d, "zz/f.txt=f");
  paths.Lengthen();
  const std::string S = TempDir::PathText(s), D = TempDir::PathText(paths.longRoot);

  RunResult r = RunTandrel({S, D, "-lh=n", "-ld"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, LogLines(D, {"directory .", "add z.txt", "directory zz", "update zz/f.txt"}));
  // The new file's log line and its copy both fail to join the path; the new directory
  // cannot be made.
  const std::string fileError = Console("Error: path too long: " + Under(D, file) + "\n");
  EXPECT_EQ(r.err,
            fileError + fileError + Console("Error: path too long: " + Under(D, dir) + "\n"));
  EXPECT_EQ(Listing(paths.longRoot), "z.txt=z zz/ zz/f.txt=ff");
}
